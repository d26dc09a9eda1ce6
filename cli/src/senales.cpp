// The SIGINT watcher: a thread in sigwait turns the signal into a stop request. SIGUSR2,
// blocked too, is how the destructor tells the watcher to end.
#include "senales.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace vemlo::cli {
namespace {

sigset_t senalesVigiladas() {
  sigset_t conjunto;
  sigemptyset(&conjunto);
  sigaddset(&conjunto, SIGINT);
  sigaddset(&conjunto, SIGUSR2);
  return conjunto;
}

}  // namespace

Senales::Senales() {
  const auto conjunto = senalesVigiladas();
  pthread_sigmask(SIG_BLOCK, &conjunto, nullptr);
  vigia_ = std::thread([this] { vigilar(); });
}

Senales::~Senales() {
  pthread_kill(vigia_.native_handle(), SIGUSR2);
  vigia_.join();
}

void Senales::vigilar() {
  const auto conjunto = senalesVigiladas();
  for (int senal = 0; sigwait(&conjunto, &senal) == 0;) {
    if (senal != SIGINT) return;
    if (fuente_.stop_requested()) std::_Exit(130);
    // Stop callbacks (the transfers' and the prompt's) run here, in an ordinary thread.
    fuente_.request_stop();
  }
}

}  // namespace vemlo::cli
