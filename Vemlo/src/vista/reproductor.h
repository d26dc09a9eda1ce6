// Reproductor: being built.
#pragma once

#include <QDialog>

#include "estado.h"

namespace vemlo::app {

class Reproductor : public QDialog {
  Q_OBJECT

 public:
  explicit Reproductor(const Reproduccion& r, QWidget* padre = nullptr);
};

}  // namespace vemlo::app
