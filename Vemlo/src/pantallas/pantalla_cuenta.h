// PantallaCuenta: the Account section. Who is signed in and with which role in the chosen
// company; the Vemlo folder (on or off, where to switch it on, opening it, the login item);
// the web pages for billing, team, security and help; and signing out.
#pragma once

#include <QWidget>

#include <string>

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace vemlo::app {

class Estado;

// The role's name as people read it; a role the app does not know reads as a viewer's.
QString nombreDeRol(const std::string& rol);

class PantallaCuenta : public QWidget {
  Q_OBJECT

 public:
  PantallaCuenta(Estado& estado, QWidget* padre = nullptr);

 private:
  void agregarCuenta(QVBoxLayout* columna);
  void agregarFinder(QVBoxLayout* columna);
  void agregarConfiguracion(QVBoxLayout* columna);
  void ponerCuenta();
  void ponerFinder();

  Estado& estado_;
  QLabel* correo_ = nullptr;
  QLabel* empresa_ = nullptr;
  QLabel* rol_ = nullptr;
  QLabel* finder_ = nullptr;
  QPushButton* activar_ = nullptr;
};

}  // namespace vemlo::app
