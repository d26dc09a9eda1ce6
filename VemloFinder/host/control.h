// The host's control socket, a Unix stream socket in the user's private runtime folder that
// only the same user (or root) may use. Each connection carries one request line and gets
// one answer before it closes: "senal <identifier>" answers "ok" or "error <text>", and
// "estado" answers the host's status as JSON on one line.
#pragma once

#include <atomic>
#include <filesystem>
#include <list>
#include <stop_token>
#include <string>
#include <thread>

#include "anfitrion.h"

namespace vemlo::finder::host {

// The host's runtime folder: $XDG_RUNTIME_DIR/vemlo, else /tmp/vemlo-<uid>. Nothing is made.
std::filesystem::path carpetaDeEjecucion();
// The same folder, made (0700) when missing; fails unless it is a folder of this user and not
// a symbolic link.
std::filesystem::path prepararCarpetaDeEjecucion();
// The control socket: "finder.sock" in the runtime folder.
std::filesystem::path archivoDeControl();

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

// Sends one request line to the running host and returns its whole answer. Fails with
// std::runtime_error ("vemlo-finder is not running" when no host listens).
std::string pedirAlAnfitrion(const std::string& linea);

}  // namespace vemlo::finder::host
