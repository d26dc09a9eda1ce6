// XDG base folders; a relative value is ignored, as the XDG rules say.
#include "vemlo/xdg.h"

#include <cstdlib>

namespace vemlo {
namespace {

std::filesystem::path carpeta(const char* variable, const char* porDefecto) {
  const char* valor = std::getenv(variable);
  if (valor && *valor == '/') return valor;
  const char* casa = std::getenv("HOME");
  return std::filesystem::path(casa ? casa : "") / porDefecto;
}

}  // namespace

std::filesystem::path datosDeUsuario() {
  return carpeta("XDG_DATA_HOME", ".local/share");
}
std::filesystem::path cacheDeUsuario() {
  return carpeta("XDG_CACHE_HOME", ".cache");
}
std::filesystem::path configuracionDeUsuario() {
  return carpeta("XDG_CONFIG_HOME", ".config");
}

}  // namespace vemlo
