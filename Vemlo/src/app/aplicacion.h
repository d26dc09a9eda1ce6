// Aplicacion: the running app. It owns the one Estado (made first, gone last), the main
// window, the settings window and, once the desktop's tray service is on the bus, the tray.
// Without a tray, closing the window quits; with one, the app stays in the tray.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

#include "estado.h"
#include "ventana.h"

class QDBusServiceWatcher;

namespace vemlo::app {

class Ajustes;
class Bandeja;

class Aplicacion : public QObject {
  Q_OBJECT

 public:
  explicit Aplicacion(OpcionesEstado opciones = {}, QObject* padre = nullptr);
  ~Aplicacion() override;

  Estado& estado() { return estado_; }
  VentanaPrincipal& ventana() { return ventana_; }
  Bandeja* bandeja() const { return bandeja_.get(); }

  void mostrarVentana();
  void abrirAjustes();

 private:
  void esperarBandeja();
  void crearBandeja();

  Estado estado_;
  VentanaPrincipal ventana_;
  QPointer<Ajustes> ajustes_;
  std::unique_ptr<Bandeja> bandeja_;
  QDBusServiceWatcher* vigia_ = nullptr;
};

}  // namespace vemlo::app
