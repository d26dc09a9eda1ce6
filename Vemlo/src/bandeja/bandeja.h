// Bandeja: the app in the desktop's tray. Its icon shows whether files are uploading and
// opens the main window when clicked; its menu gives the session's status line, the window,
// the Vemlo folder, the web site, the login item, sign-out and quitting. The menu follows the
// state's signals, so it is right whenever a tray host asks for it, and works without a host.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

namespace vemlo::app {

class Estado;

class Bandeja : public QObject {
  Q_OBJECT

 public:
  Bandeja(Estado& estado, std::function<void()> abrirVentana, QObject* padre = nullptr);
  ~Bandeja() override;

  QMenu* menu() const { return menu_.get(); }
  QSystemTrayIcon* icono() const { return icono_.get(); }

 private:
  void crearMenu();
  void agregarAcciones();
  void ponerSesion();
  void ponerSubidas();
  void ponerArranque();

  Estado& estado_;
  std::function<void()> abrirVentana_;
  std::unique_ptr<QMenu> menu_;
  std::unique_ptr<QSystemTrayIcon> icono_;  // after the menu: it goes first
  QAction* linea_ = nullptr;
  QAction* enFinder_ = nullptr;
  QAction* arranque_ = nullptr;
  QAction* salir_ = nullptr;
  bool subiendo_ = false;
};

}  // namespace vemlo::app
