// VistaPrevia: being built.
#include "vista_previa.h"

namespace vemlo::app {

VistaPrevia::VistaPrevia(Estado&, const QUrl&, QWidget* padre) : QDialog(padre) {}

}  // namespace vemlo::app
