// Service dates: the one reading of the date texts found in wire records.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace vemlo {

using Fecha = std::chrono::sys_time<std::chrono::milliseconds>;

// Reads an ISO 8601 internet date-time, with or without fractional seconds, with "Z" or a
// numeric offset; a zone-less "2024-05-01 10:20:30" is read as UTC. Anything else: nothing.
std::optional<Fecha> fechaDe(std::string_view texto);

}  // namespace vemlo
