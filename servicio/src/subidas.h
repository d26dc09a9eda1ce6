// Uploads: the start (one signed PUT, parts or nothing for an empty file), the bytes, the
// confirmation that makes a version current, and the sweep of abandoned uploads.
#pragma once

#include <cstdint>

namespace vemlo::servicio {

// Drops uploads left unconfirmed for a day, with their bytes, and expired signatures and
// challenges.
void limpiarAbandonos(std::int64_t ahora);

}  // namespace vemlo::servicio
