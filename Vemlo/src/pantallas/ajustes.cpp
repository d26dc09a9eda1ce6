// Ajustes: being built.
#include "ajustes.h"

namespace vemlo::app {

Ajustes::Ajustes(Estado&, QWidget* padre) : QWidget(padre) {}

}  // namespace vemlo::app
