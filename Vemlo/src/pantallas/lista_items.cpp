// ListaItems: being built.
#include "lista_items.h"

namespace vemlo::app {

ListaItems::ListaItems(Estado&, Modo, QWidget* padre) : QWidget(padre) {}

}  // namespace vemlo::app
