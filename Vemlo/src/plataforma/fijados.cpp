// Pins and the cache limit, through vemlo_control.
#include "fijados.h"

#include <stdexcept>

#include "finder/control.h"
#include "finder/limite_cache.h"

namespace vemlo::app {
namespace {

using nlohmann::json;

std::uint64_t numero(const json& objeto, const char* clave) {
  const auto pos = objeto.find(clave);
  return pos != objeto.end() && pos->is_number_unsigned() ? pos->get<std::uint64_t>() : 0;
}

}  // namespace

std::string idEnCarpeta(const std::string& id, bool esCarpeta) {
  return (esCarpeta ? "c:" : "a:") + id;
}

std::set<std::string> fijadosDe(const std::string& identifier) {
  std::set<std::string> ids;
  const auto estado = finder::estadoDelAnfitrion();
  if (!estado) return ids;
  for (const auto& entrada : (*estado)["dominios"]) {
    if (entrada.value("identifier", "") != identifier) continue;
    const auto lista = entrada.value("cache", json::object())
                           .value("fijados", json::object())
                           .value("ids", json::array());
    for (const auto& id : lista)
      if (id.is_string()) ids.insert(id.get<std::string>());
  }
  return ids;
}

void fijarEnEquipo(const std::string& identifier, const std::string& idCarpeta, bool fijado) {
  if (const auto codigo = finder::fijarItem(identifier, idCarpeta, fijado))
    throw std::runtime_error(*codigo);
}

std::vector<UsoCache> usoCache() {
  std::vector<UsoCache> usos;
  const auto estado = finder::estadoDelAnfitrion();
  if (!estado) return usos;
  for (const auto& entrada : (*estado)["dominios"]) {
    const auto cache = entrada.value("cache", json::object());
    if (cache.empty()) continue;
    const auto fijados = cache.value("fijados", json::object());
    usos.push_back({entrada.value("identifier", ""), numero(cache, "ocupados"),
                    numero(fijados, "bytes"), fijados.value("sinSitio", json::array()).size(),
                    numero(fijados, "bytesSinSitio")});
  }
  return usos;
}

std::uint64_t limiteDeCache() {
  return finder::limiteCache();
}

void limitarCache(std::uint64_t bytes) {
  if (const auto codigo = finder::limitarCache(bytes)) throw std::runtime_error(*codigo);
}

}  // namespace vemlo::app
