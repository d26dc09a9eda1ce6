// The service's base URL, fixed for the life of the process.
#include "vemlo/base.h"

#include <cstdlib>

namespace vemlo {

const std::string& baseInicial() {
  static const std::string base = [] {
    const char* servicio = std::getenv("VEMLO_SERVICIO");
    return std::string(servicio && *servicio ? servicio : VEMLO_BASE_URL);
  }();
  return base;
}

}  // namespace vemlo
