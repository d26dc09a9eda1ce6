// The service's address, as every program of the user finds it.
#pragma once

#include <string>

namespace vemlo {

// The service's base URL: $VEMLO_SERVICIO when set, else the build's constant. Read once.
const std::string& baseInicial();

}  // namespace vemlo
