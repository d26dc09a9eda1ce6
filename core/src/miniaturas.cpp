// Local thumbnails through a module loaded on first use: libvips and libffmpegthumbnailer
// bring some 180 shared libraries, and loading them at every start of the app would more than
// double its start time. The module is looked for where it is installed beside the program
// (../lib/<multiarch>/vemlo/ from its folder), then where this build made it.
#include "vemlo/miniaturas.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace vemlo {
namespace {

namespace fs = std::filesystem;

// The module's entry points (extern "C" names, C++ types: built by the same compiler).
struct Modulo {
  std::optional<std::string> (*imagen)(std::string_view);
  std::optional<std::string> (*video)(const std::string&);
  std::optional<Pixeles> (*pixeles)(std::string_view, int);
};

std::vector<fs::path> candidatos() {
  std::vector<fs::path> rutas;
  std::error_code error;
  const auto programa = fs::read_symlink("/proc/self/exe", error);
  if (!error) rutas.push_back(programa.parent_path() / VEMLO_MODULO_INSTALADO);
  rutas.emplace_back(VEMLO_MODULO_CONSTRUIDO);
  return rutas;
}

// Loaded once, never unloaded; none (said once on stderr) when no candidate loads.
std::optional<Modulo> cargar() {
  std::string motivo;
  for (const auto& ruta : candidatos()) {
    void* modulo = dlopen(ruta.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!modulo) {
      motivo = dlerror();
      continue;
    }
    Modulo m{reinterpret_cast<decltype(Modulo::imagen)>(dlsym(modulo, "vemlo_miniatura_de_imagen")),
             reinterpret_cast<decltype(Modulo::video)>(dlsym(modulo, "vemlo_miniatura_de_video")),
             reinterpret_cast<decltype(Modulo::pixeles)>(dlsym(modulo, "vemlo_pixeles_de_imagen"))};
    if (m.imagen && m.video && m.pixeles) return m;
  }
  std::fprintf(stderr, "vemlo: local thumbnails are unavailable: %s\n", motivo.c_str());
  return std::nullopt;
}

const std::optional<Modulo>& modulo() {
  static const std::optional<Modulo> cargado = cargar();
  return cargado;
}

}  // namespace

std::optional<std::string> miniaturaDeImagen(std::string_view bytes) {
  if (bytes.empty() || !modulo()) return std::nullopt;
  return modulo()->imagen(bytes);
}

std::optional<std::string> miniaturaDeVideo(const std::string& direccion) {
  if (!modulo()) return std::nullopt;
  return modulo()->video(direccion);
}

std::optional<Pixeles> pixelesDeImagen(std::string_view bytes, int lado) {
  if (bytes.empty() || lado <= 0 || !modulo()) return std::nullopt;
  return modulo()->pixeles(bytes, lado);
}

}  // namespace vemlo
