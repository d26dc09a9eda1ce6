// Reproductor: being built.
#include "reproductor.h"

namespace vemlo::app {

Reproductor::Reproductor(const Reproduccion&, QWidget* padre) : QDialog(padre) {}

}  // namespace vemlo::app
