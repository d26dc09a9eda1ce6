// The crawl of a company's tree: four workers, made once for the crawl, fetch the folders of
// each batch of four while the crawl takes their views in the order they arrive. Only the
// mailbox between them is shared, and it owns its lock.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "finder/indice.h"
#include "vemlo/cliente.h"

namespace vemlo::finder {

// One folder as the crawl needs it: its records and its child folders' ids. A folder that no
// longer exists has no `fichas`; a failure has `fallo`.
struct Traida {
  std::string carpetaId;
  std::optional<std::vector<Ficha>> fichas;
  std::vector<std::string> hijas;
  std::exception_ptr fallo;
};

// The folders to fetch and the folders fetched, between the crawl and its workers.
class Buzon {
 public:
  void pedir(std::vector<std::string> ids);
  // The next folder to fetch; nothing once `parar` is requested.
  std::optional<std::string> tomar(std::stop_token parar);
  void entregar(Traida traida);
  // The next folder fetched, in the order they finished; cancelado once `parar` is requested.
  Traida esperar(std::stop_token parar);

 private:
  std::mutex candado_;  // guards both queues
  std::condition_variable_any cambio_;
  std::deque<std::string> porTraer_;
  std::deque<Traida> traidas_;
};

class Recorrido {
 public:
  static constexpr std::size_t obreros = 4;

  Recorrido(const Vemlo& api, std::string raizId, std::stop_token parar);
  // Cancels what is still being fetched and joins the workers.
  ~Recorrido();
  Recorrido(const Recorrido&) = delete;
  Recorrido& operator=(const Recorrido&) = delete;

  // Crawls from the root folder until every folder is seen or `limite` records are reached.
  Foto hacer(std::size_t limite);

 private:
  void trabajar();
  Traida traer(const std::string& carpetaId) const;
  std::vector<std::string> siguienteTanda(std::deque<std::string>& pendientes) const;

  const Vemlo& api_;
  const std::string raizId_;
  std::stop_source cancelar_;  // the caller's stop, a failure, or the end of the crawl
  std::stop_callback<std::function<void()>> enlace_;
  Buzon buzon_;
  std::vector<std::jthread> obreros_;  // last: joined before the members above go
};

}  // namespace vemlo::finder
