// Fijados: the items of one domain kept on this device ("pinned"), by item identifier, and
// the files below them that the content cache keeps (protected from eviction), both in a
// small JSON file under the domain's data folder, {"fijados": [ids], "protegidos": [ids]},
// replaced atomically at each change: so a start, even offline, keeps them before any listing.
// Also what the last pass of the pinning task found: the bytes kept, and what did not fit
// under the cache limit. Timbre wakes that task. Each owns its lock; neither calls out.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

namespace vemlo::finder::host {

// What the pinned items come to: their files on this device and those that did not fit.
struct Resumen {
  std::uint64_t archivos = 0;         // pinned files on this device
  std::uint64_t bytes = 0;            // their bytes
  std::vector<std::string> sinSitio;  // paths below the mount of pinned files not kept
  std::uint64_t bytesSinSitio = 0;
};

class Fijados {
 public:
  // Reads `archivo` when it is there; anything unreadable in it counts as empty.
  explicit Fijados(std::filesystem::path archivo);

  // Both write the file when the set changes; true when it did.
  bool fijar(const std::string& id);
  bool soltar(const std::string& id);
  bool contiene(const std::string& id) const;
  std::set<std::string> todos() const;
  bool vacio() const;
  // The files kept; the file is written when they change.
  void proteger(std::set<std::string> ids);
  std::set<std::string> protegidos() const;

  void informar(Resumen resumen);
  Resumen resumen() const;

 private:
  void escribir() const;  // with candado_ held

  const std::filesystem::path archivo_;
  mutable std::mutex candado_;  // guards everything below and the file
  std::set<std::string> ids_;
  std::set<std::string> protegidos_;
  Resumen resumen_;
};

// Wakes a task: rings coalesce until it takes them.
class Timbre {
 public:
  void tocar();
  // True once rung (and takes the rings) or, when given, once `plazo` passed; false when
  // `parar` was asked first.
  bool esperar(std::stop_token parar, std::optional<std::chrono::seconds> plazo = std::nullopt);

 private:
  std::mutex candado_;  // guards sonado_
  std::condition_variable_any cambio_;
  bool sonado_ = true;  // a first pass at the start
};

}  // namespace vemlo::finder::host
