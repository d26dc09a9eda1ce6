// Files kept on this device, as the app asks vemlo-finder for them through the control
// library: the items a company keeps, keeping one or letting it go, and the content cache's
// use and limit. Every call blocks (a socket, a file): workers only.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace vemlo::app {

// The Vemlo folder's identifier of a service item: "a:<id>" for a file, "c:<id>" for a folder.
std::string idEnCarpeta(const std::string& id, bool esCarpeta);

// The items the company's folder keeps, by that identifier; none when no host answers.
std::set<std::string> fijadosDe(const std::string& identifier);

// Keeps the item on this device or lets it go; fails with std::runtime_error (no host, or the
// reason's code).
void fijarEnEquipo(const std::string& identifier, const std::string& idCarpeta, bool fijado);

// One company's content cache, as the host reports it.
struct UsoCache {
  std::string identifier;
  std::uint64_t ocupados = 0;       // bytes cached
  std::uint64_t fijados = 0;        // of them, kept on this device
  std::uint64_t sinSitio = 0;       // files kept on this device that did not fit
  std::uint64_t bytesSinSitio = 0;  // and their bytes
};

// Each mounted company's cache; none when no host answers.
std::vector<UsoCache> usoCache();

// The stored limit, and a new one (applied by the running host, or at its next start).
std::uint64_t limiteDeCache();
void limitarCache(std::uint64_t bytes);

}  // namespace vemlo::app
