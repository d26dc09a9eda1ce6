// AvisoActivarFinder: the banner above the detail while the Vemlo folder is switched off, with
// the button that opens the app's settings at its switch. It shows and hides itself.
#pragma once

#include <QFrame>

namespace vemlo::app {

class Estado;

class AvisoActivarFinder : public QFrame {
  Q_OBJECT

 public:
  explicit AvisoActivarFinder(Estado& estado, QWidget* padre = nullptr);
};

}  // namespace vemlo::app
