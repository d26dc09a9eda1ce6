// Subidor: carries the staging copies of Pendientes to the service through the extension
// (create for a new file, modify with contents for an existing one), a few at a time in the
// order they were written. Nothing is ever dropped: a temporary failure is tried again later
// with a growing pause; a name the service already uses gives the file a conflict name and
// it goes up under that; a refusal that trying again cannot mend (no permission, the plan,
// an invalid name) stops the entry, with the person's sentence, until it is written again or
// the host restarts. Stopping leaves what is pending on disk for the next start.
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

// What became of one upload attempt.
enum class Desenlace { subida, reintentar, chocar, detener };

// The outcome of a failed attempt, from the extension's error (and the service's, within it).
Desenlace desenlaceDe(std::exception_ptr fallo);

class Subidor {
 public:
  struct Avisos {
    // After each successful upload: the entry as it was sent, its change count then
    // (Pendientes::cambios) and the service's item.
    std::function<void(const Pendiente&, std::uint64_t cambios, const fp::Item& item)> alSubir;
    // The service has another item of that name: the entry must take another name (in its
    // record too); it goes up again at once.
    std::function<void(const Pendiente&)> alChocar;
    // An attempt could not reach the service (optional).
    std::function<void()> alNoAlcanzar;
  };

  Subidor(Pendientes& pendientes, fp::ReplicatedExtension& ext, Avisos avisos, int hilos = 4);
  ~Subidor();  // detener()

  // Stops the workers (an upload in flight is cancelled and stays pending) and drops what
  // waited for a hold; the entries stay on disk. Queuing still works, nothing is sent.
  void detener();
  Subidor(const Subidor&) = delete;
  Subidor& operator=(const Subidor&) = delete;

  // Queues the entry now (again, if it is on its way: it goes up once more afterwards), and
  // ends a hold.
  void encolar(const std::string& clave);
  // Holds the entry back: once it is not on its way (at once when it is not), it leaves the
  // queue and `listo` runs; it stays held until the next `encolar`. For changes to an entry
  // that must not race its upload (a rename, a delete).
  void retener(const std::string& clave, std::function<void()> listo);
  // The service answers again: every entry waiting out a pause goes now, in its order, and
  // the pauses start from the shortest again.
  void reintentarYa();

 private:
  void trabajar(std::stop_token parar);
  Desenlace subir(const std::string& clave, std::stop_token parar);
  void fallar(Pendiente pendiente, std::exception_ptr fallo, Desenlace desenlace);
  void terminar(const std::string& clave, Desenlace desenlace);
  void sacarDeLaCola(const std::string& clave);  // with candado_ held

  Pendientes& pendientes_;
  fp::ReplicatedExtension& ext_;
  Avisos avisos_;
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
