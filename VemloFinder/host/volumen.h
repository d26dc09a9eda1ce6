// Volumen: one domain in the file manager. It owns the domain's extension, mounts it through
// FUSE at its mount point and answers the kernel from the items the extension reported,
// the content cache and the staging copies of what is being written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "arbol.h"
#include "fijados.h"
#include "finder/dominios.h"
#include "pendientes.h"

namespace vemlo::finder::host {

class Volumen {
 public:
  Volumen(DominioRegistrado dominio, std::filesystem::path punto);
  ~Volumen();  // unmounts and stops; pending uploads stay on disk for the next start
  Volumen(const Volumen&) = delete;
  Volumen& operator=(const Volumen&) = delete;

  // Mounts and starts serving; a stale mount left at the point by a crash is cleared first.
  // Fails with std::runtime_error carrying the reason (shown by the status query).
  void montar();
  bool montado() const;
  // Whether the last crawl stopped at the record limit before seeing the whole company.
  bool sobreLimite() const;
  // Whether the service could not be reached at the last try (the mount then serves what
  // the index and the content cache hold, and queues what is written).
  bool sinRed() const;
  // The device has a network path again: offline, the service is probed now.
  void probarYa();

  // Runs the working set's change enumeration and hands what changed to the kernel's
  // caches. Blocks until done; fails with the mapped error of the enumeration. Offline, the
  // host runs it by itself once the service answers again.
  void senal();

  // The item the table knows at these names under the mount point (none: the root).
  std::optional<Nodo> buscar(const std::vector<std::string>& nombres) const;

  // What waits to reach the service, oldest first.
  std::vector<Pendiente> pendientes() const;
  // How many requests of each kind the kernel made since the mount.
  std::map<std::string, std::uint64_t> llamadas() const;

  // Keeps the item (by identifier) on this device, or lets it go; fails with
  // std::invalid_argument for a file not uploaded yet.
  void fijar(const std::string& id, bool fijado);
  // The content cache's limit, applied at once.
  void limitarCache(std::uint64_t bytes);
  // The content cache and the pinned items.
  struct Cache {
    std::uint64_t ocupados = 0;
    std::uint64_t limite = 0;
    Resumen fijados;
    std::set<std::string> ids;  // the pinned items
  };
  Cache cache() const;

  const DominioRegistrado& dominio() const;
  const std::filesystem::path& punto() const;

  struct Estado;  // what the mount's callbacks work on

 private:
  void desmontar();

  std::unique_ptr<Estado> e_;
};

}  // namespace vemlo::finder::host
