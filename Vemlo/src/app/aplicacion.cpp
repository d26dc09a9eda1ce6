// The app's windows and tray.
#include "aplicacion.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QTimer>

#include "ajustes.h"
#include "bandeja.h"

namespace vemlo::app {
namespace {

const QString kVigiaDeBandeja = QStringLiteral("org.kde.StatusNotifierWatcher");
constexpr int kEsperaDeBandeja = 30'000;  // ms: a panel starts later than the app at login

}  // namespace

Aplicacion::Aplicacion(OpcionesEstado opciones, QObject* padre)
    : QObject(padre), estado_(std::move(opciones)), ventana_(estado_) {
  connect(&ventana_, &VentanaPrincipal::ajustesPedidos, this, &Aplicacion::abrirAjustes);
  connect(&estado_, &Estado::ajustesFinderPedidos, this, &Aplicacion::abrirAjustes);
  esperarBandeja();
}

Aplicacion::~Aplicacion() {
  delete ajustes_;
}

void Aplicacion::mostrarVentana() {
  ventana_.show();
  ventana_.setWindowState(ventana_.windowState() & ~Qt::WindowMinimized);
  ventana_.raise();
  ventana_.activateWindow();
}

void Aplicacion::abrirAjustes() {
  if (!ajustes_) {
    ajustes_ = new Ajustes(estado_);
    ajustes_->setAttribute(Qt::WA_DeleteOnClose);
  }
  ajustes_->show();
  ajustes_->raise();
  ajustes_->activateWindow();
}

// Qt decides once per process whether a tray exists: asking before the panel's watcher is on
// the bus would answer "no" for good. So the tray is made only once the watcher is there.
void Aplicacion::esperarBandeja() {
  auto bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  if (bus.interface()->isServiceRegistered(kVigiaDeBandeja)) return crearBandeja();
  vigia_ = new QDBusServiceWatcher(kVigiaDeBandeja, bus, QDBusServiceWatcher::WatchForRegistration,
                                   this);
  connect(vigia_, &QDBusServiceWatcher::serviceRegistered, this, &Aplicacion::crearBandeja);
  QTimer::singleShot(kEsperaDeBandeja, vigia_, &QObject::deleteLater);
}

void Aplicacion::crearBandeja() {
  if (bandeja_) return;
  if (vigia_) vigia_->deleteLater();
  vigia_ = nullptr;
  bandeja_ = std::make_unique<Bandeja>(estado_, [this] { mostrarVentana(); });
  ventana_.ocultarAlCerrar(true);
  QApplication::setQuitOnLastWindowClosed(false);
}

}  // namespace vemlo::app
