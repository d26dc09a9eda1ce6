// Entrar: being built.
#pragma once

#include <QWidget>

namespace vemlo::app {

class Estado;

class Entrar : public QWidget {
  Q_OBJECT

 public:
  Entrar(Estado& estado, QWidget* padre = nullptr);
};

}  // namespace vemlo::app
