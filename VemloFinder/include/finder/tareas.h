// Tareas: runs each request of the extension as an independent task on a thread of its own.
// Destroying it asks the running tasks to stop and waits for them, so a task may use the
// object that owns the Tareas for as long as it runs.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "finder/proveedor.h"

namespace vemlo::finder {

class Tareas {
 public:
  Tareas() = default;
  ~Tareas();
  Tareas(const Tareas&) = delete;
  Tareas& operator=(const Tareas&) = delete;

  // Starts `tarea`; its stop token fires when `progreso` (if any) is cancelled or when the
  // Tareas is stopped (at once for a task started after that, which still ends, and calls its
  // completion, as a cancelled one).
  void lanzar(fp::ProgressPtr progreso, std::function<void(std::stop_token)> tarea);
  // Asks every running task to stop and waits for them (the destructor does it too).
  void detener();

 private:
  struct Hilo {
    std::jthread hilo;
    std::shared_ptr<std::atomic<bool>> hecho;
  };
  void recoger();  // joins finished threads; with candado_ held

  std::mutex candado_;  // guards hilos_ and detenida_
  std::list<Hilo> hilos_;
  bool detenida_ = false;
};

}  // namespace vemlo::finder
