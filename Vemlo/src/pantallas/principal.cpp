// The signed-in layout: sidebar, banner, section screens, upload bar and capsule.
#include "principal.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "aviso_finder.h"
#include "barra_subidas.h"
#include "estado.h"
#include "explorador.h"
#include "iconos.h"
#include "lista_items.h"
#include "pantalla_cuenta.h"
#include "papelera.h"
#include "textos.h"
#include "vacio.h"

namespace vemlo::app {
namespace {

struct DatosSeccion {
  Seccion seccion;
  const char* ingles;
  const char* espanol;
  const char* simbolo;
};

constexpr DatosSeccion kSecciones[] = {
    {Seccion::archivos, "Files", "Archivos", "folder"},
    {Seccion::recientes, "Recent", "Recientes", "clock"},
    {Seccion::favoritos, "Favorites", "Favoritos", "star"},
    {Seccion::fotos, "Photos", "Fotos", "photo.on.rectangle"},
    {Seccion::papelera, "Trash", "Papelera", "trash"},
    {Seccion::cuenta, "Account", "Cuenta", "person.crop.circle"},
};

// "Vemlo in the file manager": a button whose label wraps, as it is longer than the sidebar in
// some languages.
QPushButton* botonDeCarpeta(QWidget* padre) {
  auto* boton = new QPushButton(padre);
  const auto etiqueta = texto("Vemlo in the file manager", "Vemlo en el gestor de archivos");
  boton->setAccessibleName(etiqueta);
  auto* fila = new QHBoxLayout(boton);
  fila->setContentsMargins(8, 6, 8, 6);
  auto* simbolo = new QLabel(boton);
  simbolo->setPixmap(icono("externaldrive.connected.to.line.below").pixmap(20, 20));
  auto* rotulo = new QLabel(etiqueta, boton);
  rotulo->setWordWrap(true);
  for (auto* l : {simbolo, rotulo}) l->setAttribute(Qt::WA_TransparentForMouseEvents);
  fila->addWidget(simbolo);
  fila->addWidget(rotulo, 1);
  boton->setMinimumHeight(fila->sizeHint().height());
  return boton;
}

}  // namespace

Principal::Principal(Estado& estado, QWidget* padre) : QWidget(padre), estado_(estado) {
  setObjectName("principal");
  auto* capas = new QHBoxLayout(this);
  capas->setContentsMargins(0, 0, 0, 0);
  capas->setSpacing(0);
  capas->addWidget(barraLateral());
  capas->addWidget(columnaDerecha(), 1);
  connect(&estado_, &Estado::empresaCambio, this, [this] {
    ponerEmpresas();
    carpeta_.reset();
    mostrarDetalle();
  });
  connect(&estado_, &Estado::cuentaCambio, this, &Principal::ponerEmpresas);
  connect(&estado_, &Estado::abriendoCambio, this, &Principal::ponerCapsula);
  ponerEmpresas();
  mostrarDetalle();
  ponerCapsula();
}

QWidget* Principal::barraLateral() {
  auto* lateral = new QWidget(this);
  lateral->setObjectName("lateral");
  lateral->setFixedWidth(200);
  auto* capas = new QVBoxLayout(lateral);
  empresas_ = new QComboBox(lateral);
  empresas_->setAccessibleName(texto("Company", "Empresa"));
  connect(empresas_, &QComboBox::activated, this, [this](int i) {
    const auto& cuenta = estado_.cuenta();
    if (cuenta && i >= 0 && i < static_cast<int>(cuenta->organizaciones.size()))
      estado_.elegir(cuenta->organizaciones[static_cast<std::size_t>(i)]);
  });
  capas->addWidget(empresas_);
  secciones_ = new QListWidget(lateral);
  secciones_->setAccessibleName(texto("Sections", "Secciones"));
  secciones_->setFrameShape(QFrame::NoFrame);
  secciones_->setIconSize({20, 20});
  secciones_->setSpacing(2);
  auto paleta = secciones_->palette();  // the sidebar on the window's colour, as desktops draw it
  paleta.setColor(QPalette::Base, paleta.color(QPalette::Window));
  secciones_->setPalette(paleta);
  for (const auto& s : kSecciones)
    secciones_->addItem(new QListWidgetItem(icono(s.simbolo), texto(s.ingles, s.espanol)));
  secciones_->setCurrentRow(0);
  connect(secciones_, &QListWidget::currentRowChanged, this,
          [this](int fila) { elegirSeccion(kSecciones[std::max(0, fila)].seccion); });
  capas->addWidget(secciones_, 1);
  auto* pista =
      new QLabel(texto("Your Vemlo folder in the file manager: drop files there and they upload.",
                       "Tu carpeta Vemlo en el gestor de archivos: lo que sueltes ahí se sube."),
                 lateral);
  pista->setWordWrap(true);
  pista->setForegroundRole(QPalette::PlaceholderText);
  capas->addWidget(pista);
  auto* boton = botonDeCarpeta(lateral);
  connect(boton, &QPushButton::clicked, &estado_, &Estado::abrirEnFinder);
  capas->addWidget(boton);
  return lateral;
}

QWidget* Principal::columnaDerecha() {
  auto* columna = new QWidget(this);
  auto* capas = new QVBoxLayout(columna);
  capas->setContentsMargins(0, 0, 0, 0);
  capas->setSpacing(0);
  aviso_ = new AvisoActivarFinder(estado_, columna);
  capas->addWidget(aviso_);
  pila_ = new QStackedWidget(columna);
  capas->addWidget(pila_, 1);
  capas->addWidget(new BarraSubidas(estado_, columna));
  capsula_ = new QWidget(columna);
  capsula_->setObjectName("abriendo");
  auto* fila = new QHBoxLayout(capsula_);
  auto* progreso = new QProgressBar(capsula_);
  progreso->setRange(0, 0);
  progreso->setMaximumWidth(60);
  abriendo_ = new QLabel(capsula_);
  fila->addStretch();
  fila->addWidget(progreso);
  fila->addWidget(abriendo_);
  fila->addStretch();
  capas->addWidget(capsula_);
  return columna;
}

void Principal::ponerEmpresas() {
  const auto& cuenta = estado_.cuenta();
  const QSignalBlocker bloqueo(empresas_);
  empresas_->clear();
  if (!cuenta) return;
  for (const auto& o : cuenta->organizaciones) empresas_->addItem(QString::fromStdString(o.nombre));
  const auto& empresa = estado_.empresa();
  for (std::size_t i = 0; empresa && i < cuenta->organizaciones.size(); ++i)
    if (cuenta->organizaciones[i].id == empresa->id)
      empresas_->setCurrentIndex(static_cast<int>(i));
  empresas_->setVisible(cuenta->organizaciones.size() >= 2);
}

void Principal::elegirSeccion(Seccion seccion) {
  if (seccion == seccion_ && detalle_) return;
  seccion_ = seccion;
  const QSignalBlocker bloqueo(secciones_);
  secciones_->setCurrentRow(static_cast<int>(seccion));
  mostrarDetalle();
}

void Principal::abrirCarpeta(std::optional<std::string> carpetaId) {
  carpeta_ = std::move(carpetaId);
  if (seccion_ != Seccion::archivos) return elegirSeccion(Seccion::archivos);
  if (auto* explorador = qobject_cast<Explorador*>(detalle_)) explorador->abrirCarpeta(carpeta_);
}

void Principal::mostrarItem(std::optional<std::string> carpetaId, const std::string& itemId) {
  abrirCarpeta(std::move(carpetaId));
  if (auto* explorador = qobject_cast<Explorador*>(detalle_)) explorador->seleccionar(itemId);
}

// Each section's screen is made when shown, so that it loads on appearance.
void Principal::mostrarDetalle() {
  auto* nuevo = crearDetalle();
  pila_->addWidget(nuevo);
  pila_->setCurrentWidget(nuevo);
  if (detalle_) detalle_->deleteLater();
  detalle_ = nuevo;
}

QWidget* Principal::crearDetalle() {
  if (!estado_.empresa())
    return new Vacio(
        "folder", texto("You're not in any company yet.", "Todavía no estás en ninguna empresa."));
  const auto abrir = [this](const QString& id) {
    abrirCarpeta(id.isEmpty() ? std::nullopt : std::optional(id.toStdString()));
  };
  switch (seccion_) {
    case Seccion::archivos: {
      auto* explorador = new Explorador(estado_);
      explorador->abrirCarpeta(carpeta_);
      connect(explorador, &Explorador::carpetaAbierta, this, [this](const QString& id) {
        carpeta_ = id.isEmpty() ? std::nullopt : std::optional(id.toStdString());
      });
      return explorador;
    }
    case Seccion::recientes:
    case Seccion::favoritos:
    case Seccion::fotos: {
      const auto modo = seccion_ == Seccion::recientes   ? ListaItems::Modo::recientes
                        : seccion_ == Seccion::favoritos ? ListaItems::Modo::favoritos
                                                         : ListaItems::Modo::fotos;
      auto* lista = new ListaItems(estado_, modo);
      connect(lista, &ListaItems::abrirCarpeta, this, abrir);
      return lista;
    }
    case Seccion::papelera:
      return new Papelera(estado_);
    case Seccion::cuenta:
      return new PantallaCuenta(estado_);
  }
  return nullptr;
}

void Principal::ponerCapsula() {
  const auto nombre = estado_.abriendo();
  capsula_->setVisible(!nombre.isEmpty());
  abriendo_->setText(texto("Opening ", "Abriendo ") + nombre + QStringLiteral("…"));
}

}  // namespace vemlo::app
