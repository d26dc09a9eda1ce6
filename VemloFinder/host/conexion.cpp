// The service's reachability for one domain, and the watcher's waits.
#include "conexion.h"

namespace vemlo::finder::host {

bool Conexion::sinRed() const {
  std::lock_guard bloqueo(candado_);
  return sinRed_;
}

void Conexion::perdida() {
  std::lock_guard bloqueo(candado_);
  sinRed_ = true;
  cambio_.notify_all();
}

void Conexion::alcanzada() {
  std::lock_guard bloqueo(candado_);
  if (!sinRed_) return;
  sinRed_ = false;
  debida_ = true;
  ya_ = false;
  cambio_.notify_all();
}

void Conexion::alDia() {
  std::lock_guard bloqueo(candado_);
  sinRed_ = false;
  debida_ = false;
  ya_ = false;
}

void Conexion::probarYa() {
  std::lock_guard bloqueo(candado_);
  if (!sinRed_) return;
  ya_ = true;
  cambio_.notify_all();
}

Conexion::Turno Conexion::esperar(std::stop_token parar,
                                  std::chrono::steady_clock::duration pausa) {
  std::unique_lock bloqueo(candado_);
  for (;;) {
    // Online, nothing is probed: wait for a loss or a catch-up owed.
    cambio_.wait(bloqueo, parar, [&] { return sinRed_ || debida_; });
    if (parar.stop_requested()) return Turno::parar;
    if (debida_) {
      debida_ = false;
      return Turno::ponerseAlDia;
    }
    const bool otraCosa =
        cambio_.wait_until(bloqueo, parar, std::chrono::steady_clock::now() + pausa,
                           [&] { return debida_ || !sinRed_ || ya_; });
    if (parar.stop_requested()) return Turno::parar;
    if (!otraCosa) return Turno::probar;
    // Owed, or the service answered meanwhile: look again.
    if (debida_ || !sinRed_) continue;
    ya_ = false;
    return Turno::probar;
  }
}

}  // namespace vemlo::finder::host
