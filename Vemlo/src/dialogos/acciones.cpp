// The item menu and what its entries do.
#include "acciones.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>

#include "estado.h"
#include "mover_a.h"
#include "pedir_nombre.h"
#include "textos.h"

namespace vemlo::app {

Acciones::Acciones(Estado& estado, Item item, bool favorito, bool editable, QWidget* padre)
    : QMenu(padre), estado_(estado), item_(std::move(item)), favorito_(favorito), dueno_(padre) {
  if (item_.esCarpeta)
    agregar("abrir", texto("Open", "Abrir"), &Acciones::abrir);
  else
    agregar("abrir", texto("Open with its app", "Abrir con su programa"), &Acciones::abrir);
  if (!item_.esCarpeta)
    agregar("descargar", texto("Download…", "Descargar…"), &Acciones::descargar);
  if (item_.carpetaId)
    agregar("mostrar", texto("Show in folder", "Mostrar en su carpeta"),
            &Acciones::mostrarEnCarpeta);
  addSeparator();
  agregar("compartir", texto("Copy share link (7 days)", "Copiar enlace para compartir (7 días)"),
          &Acciones::compartir);
  agregar("favorito",
          favorito_ ? texto("Remove from Favorites", "Quitar de favoritos")
                    : texto("Add to Favorites", "Agregar a favoritos"),
          &Acciones::cambiarFavorito);
  auto* fijar = agregar("fijar", texto("Keep on this device", "Mantener en este equipo"),
                        &Acciones::cambiarFijado);
  fijar->setCheckable(true);
  fijar->setChecked(estado_.fijado(item_.id, item_.esCarpeta));
  fijar->setEnabled(estado_.finderListo());
  agregar("renombrar", texto("Rename…", "Cambiar nombre…"), &Acciones::renombrar)
      ->setEnabled(editable);
  agregar("mover", texto("Move to…", "Mover a…"), &Acciones::mover)->setEnabled(editable);
  addSeparator();
  auto* papelera =
      agregar("papelera", texto("Move to Trash", "Enviar a la papelera"), &Acciones::aLaPapelera);
  papelera->setEnabled(editable);
}

QAction* Acciones::agregar(const QString& nombre, const QString& texto, void (Acciones::*hacer)()) {
  auto* accion = addAction(texto);
  accion->setObjectName(nombre);
  connect(accion, &QAction::triggered, this, hacer);
  return accion;
}

QAction* Acciones::accion(const QString& nombre) const {
  return findChild<QAction*>(nombre);
}

QString Acciones::tipo() const {
  return item_.esCarpeta ? QStringLiteral("carpeta") : QStringLiteral("archivo");
}

void Acciones::abrir() {
  if (item_.esCarpeta) return emit abrirCarpeta(QString::fromStdString(item_.id));
  estado_.abrirConApp(archivoDe(item_));
}

void Acciones::mostrarEnCarpeta() {
  emit abrirCarpeta(QString::fromStdString(*item_.carpetaId));
}

// The save dialog opens on the Downloads folder with the item's name; cancelling does nothing.
void Acciones::descargar() {
  const auto descargas = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
  auto* dialogo = new QFileDialog(dueno_, texto("Download", "Descargar"),
                                  descargas + "/" + QString::fromStdString(item_.nombre));
  dialogo->setObjectName("guardar");
  dialogo->setAcceptMode(QFileDialog::AcceptSave);
  dialogo->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialogo, &QFileDialog::fileSelected, &estado_,
          [&estado = estado_, archivo = archivoDe(item_)](const QString& destino) {
            estado.descargar(archivo, destino.toStdString());
          });
  dialogo->open();
}

void Acciones::compartir() {
  const auto api = estado_.api();
  if (!api) return;
  estado_.llamar(
      &estado_,
      [api, tipo = tipo().toStdString(), id = item_.id, parar = estado_.parada()] {
        return api->compartir(tipo, id, 7, parar);
      },
      [&estado = estado_, nombre = QString::fromStdString(item_.nombre)](Resultado<std::string> r) {
        if (r.fallo) return estado.mostrar(r.fallo);
        auto* portapapeles = QGuiApplication::clipboard();
        portapapeles->clear();
        portapapeles->setText(QString::fromStdString(*r.valor));
        estado.avisar(texto("Link copied. Anyone with it can open “",
                            "Enlace copiado. Quien lo tenga puede abrir «") +
                      nombre + texto("” for 7 days.", "» durante 7 días."));
      });
}

void Acciones::cambiarFavorito() {
  const auto api = estado_.api();
  if (!api) return;
  estado_.llamar(
      &estado_,
      [api, quitar = favorito_, tipo = tipo().toStdString(), id = item_.id,
       parar = estado_.parada()] {
        quitar ? api->quitarFavorito(tipo, id, parar) : api->marcarFavorito(tipo, id, parar);
      },
      [&estado = estado_](Resultado<Hecho> r) {
        if (r.fallo) return estado.mostrar(r.fallo);
        estado.cambio();
      });
}

// The entry's check mark already shows the new choice when this runs.
void Acciones::cambiarFijado() {
  estado_.fijar(item_.id, item_.esCarpeta, accion("fijar")->isChecked());
}

void Acciones::renombrar() {
  const auto api = estado_.api();
  if (!api) return;
  auto* dialogo = new PedirNombre(
      estado_, texto("Rename", "Cambiar nombre"), QString::fromStdString(item_.nombre),
      texto("Save", "Guardar"),
      [api, clase = item_.esCarpeta ? Clase::carpeta : Clase::archivo, id = item_.id](
          const std::string& nombre, std::stop_token parar) {
        api->renombrar(clase, id, nombre, parar);
      },
      dueno_);
  dialogo->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialogo, &QDialog::accepted, &estado_, &Estado::cambio);
  dialogo->open();
}

void Acciones::mover() {
  auto* dialogo = new MoverA(estado_, item_, dueno_);
  dialogo->setAttribute(Qt::WA_DeleteOnClose);
  dialogo->open();
}

void Acciones::aLaPapelera() {
  const auto nombre = QString::fromStdString(item_.nombre);
  auto* pregunta = new QMessageBox(
      QMessageBox::Warning,
      texto("Move “", "¿Enviar «") + nombre + texto("” to the trash?", "» a la papelera?"),
      texto("You can restore it from Trash.", "Lo puedes recuperar desde la Papelera."),
      QMessageBox::Cancel, dueno_);
  pregunta->setObjectName("confirmarPapelera");
  pregunta->setText(pregunta->windowTitle());
  pregunta->setInformativeText(
      texto("You can restore it from Trash.", "Lo puedes recuperar desde la Papelera."));
  auto* si = pregunta->addButton(texto("Move to Trash", "Enviar a la papelera"),
                                 QMessageBox::DestructiveRole);
  pregunta->setAttribute(Qt::WA_DeleteOnClose);
  const auto api = estado_.api();
  connect(si, &QPushButton::clicked, &estado_,
          [&estado = estado_, api, clase = item_.esCarpeta ? Clase::carpeta : Clase::archivo,
           id = item_.id] {
            if (!api) return;
            estado.llamar(
                &estado,
                [api, clase, id, parar = estado.parada()] { api->aPapelera(clase, id, parar); },
                [&estado](Resultado<Hecho> r) {
                  if (r.fallo) return estado.mostrar(r.fallo);
                  estado.cambio();
                });
          });
  pregunta->open();
}

}  // namespace vemlo::app
