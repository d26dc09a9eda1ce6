// Turnos: a counting gate whose free slots pass straight to the longest waiter.
#include "vemlo/turnos.h"

#include <algorithm>

#include "vemlo/error.h"

namespace vemlo {

void Turnos::pedir(std::stop_token parar) {
  std::unique_lock bloqueo(candado_);
  if (libres_ > 0) {
    --libres_;
    return;
  }
  Espera espera;
  esperando_.push_back(&espera);
  if (cambio_.wait(bloqueo, parar, [&] { return espera.concedida; })) return;
  esperando_.erase(std::ranges::find(esperando_, &espera));
  throw ErrorVemlo::cancelado();
}

void Turnos::soltar() {
  std::lock_guard bloqueo(candado_);
  if (esperando_.empty()) {
    ++libres_;
    return;
  }
  esperando_.front()->concedida = true;
  esperando_.pop_front();
  cambio_.notify_all();
}

}  // namespace vemlo
