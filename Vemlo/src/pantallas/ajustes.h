// Ajustes: being built.
#pragma once

#include <QWidget>

namespace vemlo::app {

class Estado;

class Ajustes : public QWidget {
  Q_OBJECT

 public:
  explicit Ajustes(Estado& estado, QWidget* padre = nullptr);
};

}  // namespace vemlo::app
