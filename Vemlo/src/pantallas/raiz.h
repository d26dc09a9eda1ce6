// Raiz: the main window's content. A progress indicator while the launch check runs, the
// signed-in layout while there is an account, else the sign-in screen. Each screen is made
// anew when it comes, so that signing out forgets the section and the folder.
#pragma once

#include <QStackedWidget>

namespace vemlo::app {

class Estado;

class Raiz : public QStackedWidget {
  Q_OBJECT

 public:
  explicit Raiz(Estado& estado, QWidget* padre = nullptr);

 private:
  void poner();
  template <class Pantalla>
  void mostrar();

  Estado& estado_;
  QWidget* espera_;
};

}  // namespace vemlo::app
