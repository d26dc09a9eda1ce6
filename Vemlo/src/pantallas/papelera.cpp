// Papelera: being built.
#include "papelera.h"

namespace vemlo::app {

Papelera::Papelera(Estado&, QWidget* padre) : QWidget(padre) {}

}  // namespace vemlo::app
