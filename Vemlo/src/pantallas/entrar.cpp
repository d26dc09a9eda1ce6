// Entrar: being built.
#include "entrar.h"

namespace vemlo::app {

Entrar::Entrar(Estado&, QWidget* padre) : QWidget(padre) {}

}  // namespace vemlo::app
