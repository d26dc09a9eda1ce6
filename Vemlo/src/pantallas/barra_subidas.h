// BarraSubidas: being built.
#pragma once

#include <QWidget>

namespace vemlo::app {

class Estado;

class BarraSubidas : public QWidget {
  Q_OBJECT

 public:
  BarraSubidas(Estado& estado, QWidget* padre = nullptr);
};

}  // namespace vemlo::app
