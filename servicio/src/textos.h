// Texts the service judges or derives: item names, the folded form used by search, and
// dates as the wire carries them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vemlo::servicio {

// A name an item may take: not empty, not "." or "..", no "/" or NUL, at most 255 bytes.
bool nombreValido(std::string_view nombre);

// The name folded for search: accents removed and case folded, so "Léeme" finds "leeme".
std::string plegar(std::string_view texto);

std::int64_t ahoraMs();
// ISO 8601 UTC with milliseconds: "2024-05-01T10:20:30.123Z".
std::string fechaIso(std::int64_t ms);

}  // namespace vemlo::servicio
