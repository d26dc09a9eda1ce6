// Subidor: carries the staging copies of Pendientes to the service through the extension
// (create for a new file, modify with contents for an existing one), a few at a time in the
// order they were written. A failed upload is tried again later, with a growing pause, and
// never dropped; stopping leaves what is pending on disk for the next start.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "finder/proveedor.h"
#include "pendientes.h"

namespace vemlo::finder::host {

class Subidor {
 public:
  // Called after each successful upload with the entry as it was sent and the service's item.
  // `final` is false when the entry was written again meanwhile and goes up once more.
  using AlSubir = std::function<void(const Pendiente&, const fp::Item& item, bool final)>;

  Subidor(Pendientes& pendientes, fp::ReplicatedExtension& ext, AlSubir alSubir, int hilos = 4);
  ~Subidor();  // stops the workers; an upload in flight is cancelled and stays pending
  Subidor(const Subidor&) = delete;
  Subidor& operator=(const Subidor&) = delete;

  // Queues the entry now (again, if it is on its way: it goes up once more afterwards), and
  // ends a hold.
  void encolar(const std::string& clave);
  // Holds the entry back: once it is not on its way (at once when it is not), it leaves the
  // queue and `listo` runs; it stays held until the next `encolar`. For changes to an entry
  // that must not race its upload (a rename, a delete).
  void retener(const std::string& clave, std::function<void()> listo);

 private:
  void trabajar(std::stop_token parar);
  bool subir(const std::string& clave, std::stop_token parar);  // true on success
  void terminar(const std::string& clave, bool exito);
  void sacarDeLaCola(const std::string& clave);  // with candado_ held

  Pendientes& pendientes_;
  fp::ReplicatedExtension& ext_;
  AlSubir alSubir_;
  std::mutex candado_;  // guards everything below
  std::condition_variable_any hay_;
  std::multimap<std::chrono::steady_clock::time_point, std::string> cola_;
  std::set<std::string> enCamino_;
  std::set<std::string> otraVez_;
  std::set<std::string> retenidas_;
  std::map<std::string, std::vector<std::function<void()>>> esperando_;
  std::map<std::string, int> fallos_;
  std::vector<std::jthread> hilos_;  // last: stopped and joined first
};

// A hold on an entry for as long as any copy of it lives (it is captured by the tasks of
// one change); the entry is queued again when the last copy goes, whatever happened.
class Retencion {
 public:
  Retencion(Subidor& subidor, std::string clave) : subidor_(subidor), clave_(std::move(clave)) {}
  ~Retencion() {
    if (!clave_.empty()) subidor_.encolar(clave_);
  }
  Retencion(const Retencion&) = delete;
  Retencion& operator=(const Retencion&) = delete;

 private:
  Subidor& subidor_;
  std::string clave_;
};

}  // namespace vemlo::finder::host
