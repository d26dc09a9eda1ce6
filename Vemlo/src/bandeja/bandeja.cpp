// Bandeja: being built.
#include "bandeja.h"

namespace vemlo::app {

Bandeja::Bandeja(Estado&, std::function<void()>, QObject* padre) : QObject(padre) {}

}  // namespace vemlo::app
