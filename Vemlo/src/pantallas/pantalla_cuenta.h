// PantallaCuenta: being built.
#pragma once

#include <QWidget>

namespace vemlo::app {

class Estado;

class PantallaCuenta : public QWidget {
  Q_OBJECT

 public:
  PantallaCuenta(Estado& estado, QWidget* padre = nullptr);
};

}  // namespace vemlo::app
