// The media type of a file from its name, as the desktop's shared MIME database says.
#pragma once

#include <string>
#include <string_view>

namespace vemlo {

// "image/jpeg" for "foto.JPG"; "application/octet-stream" when nothing matches.
std::string tipoMime(std::string_view nombre);

}  // namespace vemlo
