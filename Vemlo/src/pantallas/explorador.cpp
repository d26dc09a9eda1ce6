// The Files section: toolbar, search, breadcrumbs and the folder's items.
#include "explorador.h"

#include <QAbstractItemView>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QSettings>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include "acciones.h"
#include "contenido.h"
#include "estado.h"
#include "iconos.h"
#include "migas.h"
#include "pedir_nombre.h"
#include "textos.h"

namespace vemlo::app {
namespace {

constexpr int kEsperaDeBusqueda = 300;  // ms after the last key

QSettings preferencias() {
  return QSettings("Vemlo", "Vemlo");
}

}  // namespace

Explorador::Explorador(Estado& estado, QWidget* padre)
    : QWidget(padre), estado_(estado), carpeta_(estado), resultados_(estado) {
  auto* capas = new QVBoxLayout(this);
  capas->addWidget(barra());
  migas_ = new Migas(this);
  capas->addWidget(migas_);
  contenido_ = new Contenido(this);
  capas->addWidget(contenido_, 1);
  contenido_->ponerModelo(&carpeta_.modelo());
  ponerCuadricula(preferencias().value("cuadricula", false).toBool());
  connect(contenido_, &Contenido::activado, this, &Explorador::activar);
  contenido_->ponerAcciones([this](const Item& item) { return acciones(item); });
  connect(&carpeta_, &Carpeta::vistaCambio, this, &Explorador::ponerVista);
  connect(&carpeta_, &Carpeta::vistaCambio, this, &Explorador::seleccionarPendiente);
  connect(&carpeta_, &Carpeta::carpetaIdCambio, this, [this] {
    emit carpetaAbierta(QString::fromStdString(carpeta_.carpetaId().value_or("")));
  });
  connect(migas_, &Migas::elegido, this, [this](const QString& id) {
    busqueda_->clear();
    abrirCarpeta(id.isEmpty() ? std::nullopt : std::optional(id.toStdString()));
  });
}

Explorador::~Explorador() {
  parar_.request_stop();
}

QToolButton* Explorador::boton(const QString& simbolo, const QString& ayuda,
                               const QString& nombre) {
  auto* b = new QToolButton(this);
  b->setObjectName(nombre);
  b->setIcon(icono(simbolo));
  b->setToolTip(ayuda);
  b->setAccessibleName(ayuda);
  b->setAutoRaise(true);
  return b;
}

QWidget* Explorador::barra() {
  auto* barra = new QWidget(this);
  auto* fila = new QHBoxLayout(barra);
  fila->setContentsMargins(0, 0, 0, 0);
  auto* volver = boton("chevron.left", texto("Back", "Atrás"), "atras");
  connect(volver, &QToolButton::clicked, this, &Explorador::atras);
  subir_ = boton("square.and.arrow.up",
                 texto("Upload files or folders", "Subir archivos o carpetas"), "subir");
  subir_->setText(texto("Upload", "Subir"));
  subir_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect(subir_, &QToolButton::clicked, this, &Explorador::subir);
  nueva_ = boton("folder.badge.plus", texto("New folder", "Nueva carpeta"), "nuevaCarpeta");
  connect(nueva_, &QToolButton::clicked, this, &Explorador::nuevaCarpeta);
  cuadricula_ = boton("square.grid.2x2", texto("Grid or list", "Cuadrícula o lista"), "cuadricula");
  connect(cuadricula_, &QToolButton::clicked, this,
          [this] { ponerCuadricula(!contenido_->cuadricula()); });
  auto* actualizar = boton("arrow.clockwise", texto("Refresh", "Actualizar"), "actualizar");
  connect(actualizar, &QToolButton::clicked, &carpeta_, &Carpeta::recargar);
  busqueda_ = new QLineEdit(barra);
  busqueda_->setObjectName("busqueda");
  busqueda_->setClearButtonEnabled(true);
  busqueda_->addAction(icono("magnifyingglass"), QLineEdit::LeadingPosition);
  busqueda_->setMinimumWidth(240);
  espera_ = new QTimer(this);
  espera_->setSingleShot(true);
  espera_->setInterval(kEsperaDeBusqueda);
  connect(busqueda_, &QLineEdit::textChanged, this, [this] {
    parar_.request_stop();
    espera_->start();
  });
  connect(espera_, &QTimer::timeout, this, &Explorador::buscar);
  // The keys of a file manager: find, back, refresh.
  const auto atajo = [this](QKeySequence teclas, auto hacer) {
    connect(new QShortcut(teclas, this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut),
            &QShortcut::activated, this, hacer);
  };
  atajo(QKeySequence::Find, [this] { busqueda_->setFocus(Qt::ShortcutFocusReason); });
  atajo(QKeySequence::Back, [this] { atras(); });
  atajo(QKeySequence::Refresh, [this] { carpeta_.recargar(); });
  for (auto* w : {volver, subir_, nueva_, cuadricula_, actualizar}) fila->addWidget(w);
  fila->addStretch();
  fila->addWidget(busqueda_);
  return barra;
}

void Explorador::abrirCarpeta(std::optional<std::string> carpetaId) {
  carpeta_.abrir(std::move(carpetaId));
}

void Explorador::seleccionar(const std::string& id) {
  busqueda_->clear();
  porSeleccionar_ = id;
}

// Each listing replaces the model, so the selection is made after the view took it.
void Explorador::seleccionarPendiente() {
  if (!porSeleccionar_) return;
  const auto id = *std::exchange(porSeleccionar_, std::nullopt);
  const auto& items = carpeta_.modelo().items();
  const auto pos = std::ranges::find(items, id, &Item::id);
  if (pos == items.end() || contenido_->modelo() != &carpeta_.modelo()) return;
  const auto indice = carpeta_.modelo().index(static_cast<int>(pos - items.begin()), 0);
  auto* vista = contenido_->vista();
  vista->setCurrentIndex(indice);
  vista->scrollTo(indice);
  vista->setFocus(Qt::OtherFocusReason);
}

void Explorador::atras() {
  const auto& vista = carpeta_.vista();
  if (!vista || vista->ruta.size() < 2) return;
  const auto& padre = vista->ruta[vista->ruta.size() - 2];
  abrirCarpeta(padre.esRaiz ? std::nullopt : std::optional(padre.id));
}

void Explorador::ponerCuadricula(bool cuadricula) {
  contenido_->ponerCuadricula(cuadricula);
  cuadricula_->setIcon(icono(cuadricula ? "list.bullet" : "square.grid.2x2"));
  preferencias().setValue("cuadricula", cuadricula);
}

void Explorador::activar(const Item& item) {
  if (item.esCarpeta) return abrirCarpeta(item.id);
  abrirArchivo(estado_, item);
}

// The item's menu; it deletes itself once closed.
Acciones* Explorador::acciones(const Item& item) {
  const auto& modelo = buscando_ ? resultados_ : carpeta_.modelo();
  auto* acciones =
      new Acciones(estado_, item, modelo.esFavorito(item.id), carpeta_.editable(), this);
  acciones->setAttribute(Qt::WA_DeleteOnClose);
  connect(acciones, &Acciones::abrirCarpeta, this, [this](const QString& id) {
    busqueda_->clear();
    abrirCarpeta(id.toStdString());
  });
  return acciones;
}

void Explorador::subir() {
  const auto& vista = carpeta_.vista();
  if (!vista) return;
  auto* dialogo = new QFileDialog(this, texto("Upload", "Subir"));
  dialogo->setObjectName("elegirSubida");
  dialogo->setFileMode(QFileDialog::ExistingFiles);
  dialogo->setOption(QFileDialog::DontUseNativeDialog, false);
  dialogo->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialogo, &QFileDialog::filesSelected, this,
          [this, id = vista->id](const QStringList& archivos) {
            std::vector<std::filesystem::path> rutas;
            for (const auto& a : archivos) rutas.emplace_back(a.toStdString());
            estado_.subir(rutas, id);
          });
  dialogo->open();
}

void Explorador::nuevaCarpeta() {
  const auto api = estado_.api();
  const auto& vista = carpeta_.vista();
  if (!api || !vista) return;
  auto* dialogo = new PedirNombre(
      estado_, texto("New folder", "Nueva carpeta"), QString(), texto("Create", "Crear"),
      [api, padre = vista->id](const std::string& nombre, std::stop_token parar) {
        api->crearCarpeta(padre, nombre, parar);
      },
      this);
  dialogo->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialogo, &QDialog::accepted, &estado_, &Estado::cambio);
  dialogo->open();
}

void Explorador::buscar() {
  const auto consulta = busqueda_->text().trimmed().toStdString();
  const auto api = estado_.api();
  const auto& empresa = estado_.empresa();
  ++busquedas_;
  if (consulta.empty() || !api || !empresa) {
    buscando_ = false;
    return ponerVista();
  }
  parar_ = {};
  estado_.llamar(
      this,
      [api, org = empresa->id, consulta, parar = parar_.get_token()] {
        return api->buscar(org, consulta, parar);
      },
      [this, busqueda = busquedas_](Resultado<std::vector<ResultadoBusqueda>> r) {
        if (busqueda != busquedas_) return;
        if (r.fallo) return estado_.mostrar(r.fallo);
        buscando_ = true;
        resultados_.poner(itemsDe(*r.valor));
        ponerVista();
        emit resultadosListos();
      });
}

// What the view shows: the folder, the results, or an empty state; and what may change.
void Explorador::ponerVista() {
  const auto& vista = carpeta_.vista();
  const bool editable = carpeta_.editable();
  subir_->setEnabled(editable && vista);
  nueva_->setEnabled(editable && vista);
  auto& modelo = buscando_ ? resultados_ : carpeta_.modelo();
  modelo.ponerDestino(vista && !buscando_ ? std::optional(vista->id) : std::nullopt, editable);
  contenido_->ponerModelo(&modelo);
  const auto& empresa = estado_.empresa();
  const auto nombreRaiz =
      empresa ? QString::fromStdString(empresa->nombre) : QStringLiteral("Vemlo");
  if (vista) {
    migas_->poner(vista->ruta, nombreRaiz);
    const auto& ultimo = vista->ruta.empty() ? PasoRuta{} : vista->ruta.back();
    busqueda_->setPlaceholderText(
        texto("Search in ", "Buscar en ") +
        (ultimo.esRaiz ? nombreRaiz : QString::fromStdString(ultimo.nombre)));
  }
  if (modelo.rowCount() > 0 || (!vista && !buscando_)) return contenido_->ponerVacio({}, {});
  if (buscando_)
    return contenido_->ponerVacio(
        "magnifyingglass", texto("Nothing matches your search.", "No hay nada con ese nombre."));
  contenido_->ponerVacio("tray.and.arrow.up",
                         texto("This folder is empty. Drag files here or use Upload.",
                               "Esta carpeta está vacía. Arrastra archivos aquí o usa «Subir»."));
}

}  // namespace vemlo::app
