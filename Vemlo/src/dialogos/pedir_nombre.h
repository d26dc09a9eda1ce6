// PedirNombre: asks for a name (a new folder, a rename). Confirming runs `hacer` off the GUI
// thread; success closes the dialog, a failure shows its sentence and keeps it open.
#pragma once

#include <QDialog>

#include <functional>
#include <stop_token>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vemlo::app {

class Estado;

class PedirNombre : public QDialog {
  Q_OBJECT

 public:
  using Hacer = std::function<void(const std::string& nombre, std::stop_token parar)>;
  PedirNombre(Estado& estado, const QString& titulo, const QString& inicial, const QString& boton,
              Hacer hacer, QWidget* padre = nullptr);
  QLineEdit* campo() const { return nombre_; }
  QString error() const;

 private:
  void confirmar();

  Estado& estado_;
  Hacer hacer_;
  QLineEdit* nombre_;
  QLabel* error_;
  QPushButton* confirmar_;
};

}  // namespace vemlo::app
