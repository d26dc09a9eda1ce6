// The route groups of the service; each registers its handlers on the route table.
#pragma once

#include "http.h"

namespace vemlo::servicio {

void rutasCuentas(Rutas& rutas);
void rutasCarpetas(Rutas& rutas);
void rutasListas(Rutas& rutas);
void rutasEnlaces(Rutas& rutas);
void rutasSubidas(Rutas& rutas);

}  // namespace vemlo::servicio
