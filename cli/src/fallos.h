// How vemlo-cli ends: its exit statuses and the two failures of its own. A failure carries
// the sentence the user reads, already in the user's language.
#pragma once

#include <stdexcept>
#include <string>

namespace vemlo::cli {

// Exit statuses, the same for every command.
enum Salida : int {
  hecho = 0,          // done
  fallo = 1,          // the service or the network failed, or something named is not there
  malUso = 2,         // wrong usage: arguments, options, local paths, an ambiguous company
  interrumpido = 130  // Ctrl-C (SIGINT)
};

// A failure that is the user's command line: exit status 2.
class ErrorUso : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure of the operation itself (a remote path that matches nothing, no session): status 1.
class ErrorOrden : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vemlo::cli
