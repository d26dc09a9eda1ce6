// Explorador: being built.
#include "explorador.h"

namespace vemlo::app {

Explorador::Explorador(Estado&, QWidget* padre) : QWidget(padre) {}

void Explorador::abrirCarpeta(std::optional<std::string>) {}

}  // namespace vemlo::app
