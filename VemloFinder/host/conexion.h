// Conexion: whether a domain's service answers, as the mount's last requests found it, and
// the catch-up owed once it answers again after a time without it. The mount's requests
// report here; the watcher thread waits here for its next turn.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace vemlo::finder::host {

class Conexion {
 public:
  enum class Turno { ponerseAlDia, probar, parar };

  bool sinRed() const;
  // A request could not reach the service.
  void perdida();
  // A request reached the service: if it could not before, the catch-up is owed now.
  void alcanzada();
  // The catch-up ran: the service answers and nothing is owed.
  void alDia();
  // The device has a network path again: offline, the next probe is not left to its pause.
  void probarYa();

  // The watcher's next turn: ponerseAlDia as soon as the catch-up is owed; offline, probar
  // once `pausa` has passed without it (or at probarYa); parar once `parar` is requested.
  Turno esperar(std::stop_token parar, std::chrono::steady_clock::duration pausa);

 private:
  mutable std::mutex candado_;  // guards the three flags
  std::condition_variable_any cambio_;
  bool sinRed_ = false;
  bool debida_ = false;
  bool ya_ = false;  // offline, probe without waiting out the pause
};

}  // namespace vemlo::finder::host
