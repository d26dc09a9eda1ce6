// Papelera: being built.
#pragma once

#include <QWidget>

namespace vemlo::app {

class Estado;

class Papelera : public QWidget {
  Q_OBJECT

 public:
  Papelera(Estado& estado, QWidget* padre = nullptr);
};

}  // namespace vemlo::app
