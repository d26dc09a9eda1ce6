// The user's base folders as the XDG rules name them: the variable when it holds an absolute
// path, else the default below $HOME. Read on each call.
#pragma once

#include <filesystem>

namespace vemlo {

// $XDG_DATA_HOME, else ~/.local/share.
std::filesystem::path datosDeUsuario();
// $XDG_CACHE_HOME, else ~/.cache.
std::filesystem::path cacheDeUsuario();
// $XDG_CONFIG_HOME, else ~/.config.
std::filesystem::path configuracionDeUsuario();

}  // namespace vemlo
