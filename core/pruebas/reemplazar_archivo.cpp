// Replaces one file, for the test that watches its system calls: reemplazar_archivo
// DURABILIDAD RUTA TEXTO, where DURABILIDAD is ninguna, datos or datosYCarpeta.
#include <string_view>

#include "vemlo/archivo.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const std::string_view nombre = argv[1];
  const auto durabilidad = nombre == "ninguna" ? vemlo::Durabilidad::ninguna
                           : nombre == "datos" ? vemlo::Durabilidad::datos
                                               : vemlo::Durabilidad::datosYCarpeta;
  vemlo::reemplazar(argv[2], argv[3], durabilidad);
  return 0;
}
