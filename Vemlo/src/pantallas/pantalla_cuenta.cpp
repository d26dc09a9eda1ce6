// PantallaCuenta: being built.
#include "pantalla_cuenta.h"

namespace vemlo::app {

PantallaCuenta::PantallaCuenta(Estado&, QWidget* padre) : QWidget(padre) {}

}  // namespace vemlo::app
