// Domains and the host, through the registry and vemlo_control.
#include "dominios.h"

#include <algorithm>
#include <stdexcept>

#include "finder/arranque.h"
#include "finder/control.h"
#include "finder/dominios.h"

namespace vemlo::app {
namespace {

std::vector<finder::DominioRegistrado> registrados() {
  try {
    return finder::getDomains();
  } catch (const std::exception&) {
    return {};
  }
}

void asegurarAnfitrion(const std::optional<std::filesystem::path>& anfitrion) {
  if (finder::estadoDelAnfitrion()) return;
  const auto programa = anfitrion ? anfitrion : finder::buscarAnfitrion();
  if (!programa) throw std::runtime_error("vemlo-finder was not found");
  finder::arrancarAnfitrion(*programa);
}

}  // namespace

void registrarDominios(const std::vector<Organizacion>& empresas,
                       const std::optional<std::filesystem::path>& anfitrion) {
  for (const auto& dominio : registrados()) {
    const bool queda = std::ranges::any_of(
        empresas, [&](const auto& empresa) { return empresa.id == dominio.identifier; });
    try {
      if (!queda) finder::removeDomain(dominio.identifier);
    } catch (const std::exception&) {
      // Tried again at the next synchronisation.
    }
  }
  for (const auto& empresa : empresas)
    finder::addDomain({empresa.id, empresas.size() == 1 ? "Vemlo" : empresa.nombre, true});
  if (!empresas.empty()) asegurarAnfitrion(anfitrion);
}

void quitarTodosLosDominios() {
  for (const auto& dominio : registrados()) {
    try {
      finder::removeDomain(dominio.identifier);
    } catch (const std::exception&) {
      // The next synchronisation removes it.
    }
  }
}

bool algunoApagado() {
  return std::ranges::any_of(registrados(), [](const auto& d) { return !d.enabled; });
}

void senalarDominios() {
  for (const auto& dominio : registrados()) {
    try {
      finder::senalar(dominio.identifier);
    } catch (const std::exception&) {
      // No host, or not mounted yet: the next tick asks again.
    }
  }
}

std::optional<std::filesystem::path> montajeDe(const std::string& identifier) {
  const auto estado = finder::estadoDelAnfitrion();
  if (!estado) return std::nullopt;
  for (const auto& entrada : (*estado)["dominios"]) {
    if (entrada.value("identifier", "") == identifier && entrada.value("montado", false))
      return std::filesystem::path(entrada.value("puntoDeMontaje", ""));
  }
  return std::nullopt;
}

}  // namespace vemlo::app
