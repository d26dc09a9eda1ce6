// The names of a path under a mount point, compared name by name so that "/a/Vemlo-Acme2"
// is not under "/a/Vemlo-Acme".
#include "ubicacion.h"

#include <ranges>

namespace vemlo::finder::host {
namespace {

// The path's names, or nothing when one is empty, "." or "..", or the path is not absolute.
std::optional<std::vector<std::string>> nombresDe(std::string_view ruta) {
  if (!ruta.starts_with('/') || ruta.find('\0') != std::string_view::npos) return std::nullopt;
  ruta.remove_prefix(1);
  if (ruta.ends_with('/')) ruta.remove_suffix(1);
  std::vector<std::string> nombres;
  if (ruta.empty()) return nombres;
  for (const auto parte : std::views::split(ruta, '/')) {
    const std::string nombre(parte.begin(), parte.end());
    if (nombre.empty() || nombre == "." || nombre == "..") return std::nullopt;
    nombres.push_back(nombre);
  }
  return nombres;
}

}  // namespace

std::optional<std::vector<std::string>> nombresBajo(const std::filesystem::path& punto,
                                                    std::string_view ruta) {
  const auto delPunto = nombresDe(punto.native());
  auto nombres = nombresDe(ruta);
  if (!delPunto || !nombres || nombres->size() < delPunto->size()) return std::nullopt;
  if (!std::equal(delPunto->begin(), delPunto->end(), nombres->begin())) return std::nullopt;
  nombres->erase(nombres->begin(), nombres->begin() + static_cast<long>(delPunto->size()));
  return nombres;
}

std::optional<Nodo> nodoPorNombres(const Arbol& arbol, const std::vector<std::string>& nombres) {
  auto nodo = arbol.porIno(FUSE_ROOT_ID);
  for (const auto& nombre : nombres) {
    if (!nodo || !nodo->esCarpeta) return std::nullopt;
    nodo = arbol.hijo(nodo->ino, nombre);
  }
  return nodo;
}

}  // namespace vemlo::finder::host
