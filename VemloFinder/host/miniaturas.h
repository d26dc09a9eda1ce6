// Miniaturas: puts the service's thumbnails of a listed folder's pictures into the user's
// thumbnail cache before a file manager asks, so that it shows them without reading (and so
// downloading) the files. One worker thread does the work, away from every request and lock
// of the mount; each listing hands it a bounded number of files, and its queue is bounded too.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "cache_miniaturas.h"

namespace vemlo::finder::host {

// A file of a listed folder, as stat shows it in the mount.
struct Encargo {
  std::string id;    // the item
  std::string ruta;  // its absolute path in the mount
  std::int64_t mtime = 0;
  std::int64_t tamano = 0;
};

// The service's thumbnail (a JPEG) of the item; nothing, or a throw, when there is none.
using TraerMiniatura =
    std::function<std::optional<std::string>(const std::string& id, std::stop_token parar)>;

class Miniaturas {
 public:
  // At most this many files of one listing are taken, and this many wait at once.
  static constexpr std::size_t porListado = 256;
  static constexpr std::size_t enEspera = 1024;

  Miniaturas(CacheMiniaturas cache, TraerMiniatura traer);
  ~Miniaturas();  // stops and joins the worker
  Miniaturas(const Miniaturas&) = delete;
  Miniaturas& operator=(const Miniaturas&) = delete;

  // Queues the files whose thumbnails may be missing or old; a file already waiting takes
  // the newer facts. Returns at once.
  void encargar(std::vector<Encargo> encargos);
  // Stops the worker (a fetch in progress is cancelled) and waits for it; nothing is done
  // after it.
  void detener();

 private:
  void trabajar(std::stop_token parar);
  void hacer(const Encargo& encargo, std::stop_token parar);

  const CacheMiniaturas cache_;
  const TraerMiniatura traer_;
  std::mutex candado_;  // guards cola_ and esperando_
  std::condition_variable_any hayEncargos_;
  std::deque<std::string> cola_;                        // item identifiers, oldest first
  std::unordered_map<std::string, Encargo> esperando_;  // the files in cola_
  std::jthread hilo_;                                   // last: it uses everything above
};

}  // namespace vemlo::finder::host
