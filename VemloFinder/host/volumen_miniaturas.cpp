// The hook between listings and the thumbnail cache: after a folder is listed (or a change
// enumeration reports pictures of a folder listed before), its pictures that have a service
// time and no local changes go to the thumbnail worker, with the path, time and size the mount
// shows for them; the worker fetches only the service's thumbnails.
#include <map>
#include <variant>

#include "finder/indice.h"
#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// Deeper than this, a chain of parents is not a folder of this tree.
constexpr std::size_t mayorProfundidad = 4096;

bool esImagen(const fp::Item& item) {
  return item.contentType().starts_with("image/");
}

}  // namespace

std::optional<fs::path> Volumen::Estado::rutaEnMontaje(const std::string& id) const {
  std::vector<std::string> nombres;
  for (auto actual = id; actual != fp::rootContainer;) {
    const auto n = arbol.porId(actual);
    if (!n || !n->presente || nombres.size() > mayorProfundidad) return std::nullopt;
    nombres.push_back(n->nombre);
    actual = n->padre;
  }
  auto ruta = fs::absolute(punto).lexically_normal();
  for (auto nombre = nombres.rbegin(); nombre != nombres.rend(); ++nombre) ruta /= *nombre;
  return ruta;
}

void Volumen::Estado::encargarMiniaturas(const std::string& carpetaId,
                                         const std::vector<fp::ItemPtr>& items) {
  const auto carpeta = rutaEnMontaje(carpetaId);
  if (!carpeta) return;
  std::vector<Encargo> encargos;
  for (const auto& item : items) {
    if (encargos.size() == Miniaturas::porListado) break;
    if (!item || !esImagen(*item)) continue;
    const auto n = arbol.porId(item->itemIdentifier());
    // Without a service time (just uploaded from here) or with newer bytes here, the
    // service's thumbnail is not of the file the mount shows.
    if (!n || !n->presente || n->esCarpeta || !n->fecha || !n->clave.empty()) continue;
    if (n->padre != carpetaId) continue;
    const auto st = atributos(*n);
    encargos.push_back({n->id, (*carpeta / n->nombre).string(), st.st_mtim.tv_sec, st.st_size});
  }
  if (!encargos.empty()) miniaturas->encargar(std::move(encargos));
}

void Volumen::Estado::encargarCambios(const std::vector<fp::ItemPtr>& items) {
  std::map<std::string, std::vector<fp::ItemPtr>> porCarpeta;
  for (const auto& item : items)
    if (item && esImagen(*item)) porCarpeta[item->parentItemIdentifier()].push_back(item);
  for (const auto& [carpetaId, deCarpeta] : porCarpeta) {
    const auto carpeta = arbol.porId(carpetaId);
    if (carpeta && carpeta->presente && arbol.listada(carpeta->ino))
      encargarMiniaturas(carpetaId, deCarpeta);
  }
}

std::optional<std::string> Volumen::Estado::miniaturaDelServicio(const std::string& id,
                                                                 std::stop_token parar) {
  const auto ctx = ext.contexto(parar);
  const auto d = destino(id, ctx.raizId);
  const auto* fichero = std::get_if<destinos::Fichero>(&d);
  if (!fichero) return std::nullopt;
  auto jpeg = ctx.api->traerMiniatura(fichero->id, parar);
  if (jpeg.empty()) return std::nullopt;
  return jpeg;
}

}  // namespace vemlo::finder::host
