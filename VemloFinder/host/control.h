// The host's end of the control socket (the wire and its requests are in finder/control.h):
// "senal <identifier>", "fijar <identifier> <id>", "soltar <identifier> <id>" and
// "limite <bytes>" answer "ok" or "error <code> <detail>", "estado" the host's status as JSON
// on one line, "item <absolute path>" the item there as JSON on one line or an error.
#pragma once

#include <atomic>
#include <filesystem>
#include <list>
#include <stop_token>
#include <string>
#include <thread>

#include "anfitrion.h"
#include "finder/control.h"

namespace vemlo::finder::host {

class Control {
 public:
  // Listens on the control socket; a file left there by an earlier run is removed first.
  explicit Control(Anfitrion& anfitrion);
  ~Control();  // removes the socket file
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // Accepts connections until `parar`, each answered on a thread of its own so that a long
  // signal does not hold up the status; returns once every answer is sent.
  void servir(std::stop_token parar);

  // The answer to one request line (given without its newline), newline included.
  std::string responder(const std::string& linea);

 private:
  struct Conexion {
    std::atomic<bool> terminada{false};
    std::jthread hilo;
  };
  void aceptar();
  void atender(int cliente);

  Anfitrion& anfitrion_;
  const std::filesystem::path ruta_;
  const Descriptor escucha_;
  std::list<Conexion> conexiones_;  // only servir's thread touches the list
};

}  // namespace vemlo::finder::host
