// A thread per task, joined when finished (on the next start) or at the end.
#include "finder/tareas.h"

#include <optional>

namespace vemlo::finder {

Tareas::~Tareas() {
  detener();
}

void Tareas::detener() {
  std::list<Hilo> hilos;
  {
    std::lock_guard candado(candado_);
    detenida_ = true;
    hilos.swap(hilos_);
  }
  for (auto& h : hilos) h.hilo.request_stop();
  hilos.clear();  // jthread joins
}

void Tareas::recoger() {
  hilos_.remove_if([](const Hilo& h) { return h.hecho->load(); });
}

void Tareas::lanzar(fp::ProgressPtr progreso, std::function<void(std::stop_token)> tarea) {
  auto hecho = std::make_shared<std::atomic<bool>>(false);
  std::jthread hilo(
      [progreso = std::move(progreso), tarea = std::move(tarea), hecho](std::stop_token fin) {
        std::stop_source parar;
        std::stop_callback alTerminar(fin, [&] { parar.request_stop(); });
        std::optional<std::stop_callback<std::function<void()>>> alCancelar;
        if (progreso) alCancelar.emplace(progreso->cancellation(), [&] { parar.request_stop(); });
        try {
          tarea(parar.get_token());
        } catch (...) {
          // A completion handler that throws must not end the process; the task is over anyway.
        }
        *hecho = true;
      });
  std::lock_guard candado(candado_);
  if (detenida_) hilo.request_stop();
  recoger();
  hilos_.push_back({std::move(hilo), std::move(hecho)});
}

}  // namespace vemlo::finder
