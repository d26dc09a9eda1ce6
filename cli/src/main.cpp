// vemlo-cli: the command-line companion of the Vemlo desktop client.
#include "aplicacion.h"

int main(int argc, char** argv) {
  return vemlo::cli::ejecutar(argc, argv);
}
