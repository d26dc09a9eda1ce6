// BarraSubidas: being built.
#include "barra_subidas.h"

namespace vemlo::app {

BarraSubidas::BarraSubidas(Estado&, QWidget* padre) : QWidget(padre) {}

}  // namespace vemlo::app
