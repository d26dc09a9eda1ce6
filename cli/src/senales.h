// Ctrl-C as a cancellation: SIGINT is blocked in every thread and a watcher thread waits for
// it with sigwait, so no work ever runs in a signal handler. The first SIGINT requests a stop
// on the process's stop source (every transfer watches its token); a second one ends the
// process at once with status 130.
#pragma once

#include <stop_token>
#include <thread>

namespace vemlo::cli {

class Senales {
 public:
  // Blocks SIGINT in the calling thread (and so in every thread made later) and starts the
  // watcher. Make it before any other thread.
  Senales();
  ~Senales();
  Senales(const Senales&) = delete;
  Senales& operator=(const Senales&) = delete;

  std::stop_token token() const { return fuente_.get_token(); }
  bool interrumpido() const { return fuente_.stop_requested(); }

 private:
  void vigilar();

  std::stop_source fuente_;
  std::thread vigia_;
};

}  // namespace vemlo::cli
