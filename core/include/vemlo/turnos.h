// Turnos: a gate with a number of slots, served first come, first served.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stop_token>

namespace vemlo {

class Turnos {
 public:
  explicit Turnos(int libres) : libres_(libres) {}

  // Takes a slot, waiting behind earlier callers when there is none. Fails with `cancelado`
  // (taking no slot) when `parar` is requested while waiting.
  void pedir(std::stop_token parar = {});
  // Gives a slot back: straight to the longest waiter, if any. Once per `pedir` that returned.
  void soltar();

 private:
  struct Espera {
    bool concedida = false;
  };
  std::mutex candado_;  // guards libres_ and esperando_
  std::condition_variable_any cambio_;
  int libres_;
  std::deque<Espera*> esperando_;
};

}  // namespace vemlo
