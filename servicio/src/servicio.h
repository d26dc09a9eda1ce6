// The assembled service: the HTTP server with its routes, request log, failure filler and
// test hooks, bound to its address and run until stopped.
#pragma once

#include <memory>

#include "opciones.h"

namespace vemlo::servicio {

class Servicio {
 public:
  explicit Servicio(const Opciones& opciones);
  ~Servicio();
  // Binds the address; the port actually taken, or -1.
  int enlazar();
  // Serves until `parar`; false when the server could not run.
  bool escuchar();
  void parar();

 private:
  struct Interno;
  std::unique_ptr<Interno> interno_;
};

}  // namespace vemlo::servicio
