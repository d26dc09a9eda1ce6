// Reading sign-in answers: echo is switched off with termios for secrets and restored on every
// way out, Ctrl-C included (the watcher thread restores it before ending the process).
#include "preguntas.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "fallos.h"
#include "textos.h"

namespace vemlo::cli {
namespace {

void escribir(int fd, std::string_view texto) {
  while (!texto.empty()) {
    const auto n = write(fd, texto.data(), texto.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    texto.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Echo off while alive; `restaurar` puts the saved settings back (once).
class SinEco {
 public:
  explicit SinEco(int fd) : fd_(fd) {
    if (tcgetattr(fd_, &antes_) != 0) return;
    termios callado = antes_;
    callado.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    activo_ = tcsetattr(fd_, TCSAFLUSH, &callado) == 0;
  }
  ~SinEco() { restaurar(); }
  SinEco(const SinEco&) = delete;
  SinEco& operator=(const SinEco&) = delete;

  void restaurar() {
    if (!activo_) return;
    tcsetattr(fd_, TCSAFLUSH, &antes_);
    escribir(fd_, "\n");
    activo_ = false;
  }

 private:
  int fd_;
  termios antes_{};
  bool activo_ = false;
};

std::string sinFinDeLinea(std::string texto) {
  while (!texto.empty() && (texto.back() == '\r' || texto.back() == '\n')) texto.pop_back();
  return texto;
}

}  // namespace

Preguntas::Preguntas(bool desdeEntrada, std::stop_token parar)
    : desdeEntrada_(desdeEntrada), parar_(std::move(parar)) {
  if (desdeEntrada_) return;
  terminal_ = open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (terminal_ < 0)
    throw ErrorUso(tr("There is no terminal to ask for the password; use --password-stdin.",
                      "No hay una terminal para pedir la contraseña; usa --password-stdin."));
}

Preguntas::~Preguntas() {
  if (terminal_ >= 0) close(terminal_);
}

std::string Preguntas::linea(std::string_view pregunta) {
  return leer(pregunta, true);
}

std::string Preguntas::secreta(std::string_view pregunta) {
  return leer(pregunta, false);
}

std::string Preguntas::leer(std::string_view pregunta, bool eco) {
  if (desdeEntrada_) {
    const std::stop_callback salir(parar_, [] { std::_Exit(130); });
    std::string respuesta;
    if (!std::getline(std::cin, respuesta))
      throw ErrorUso(tr("Standard input ended before every answer was read.",
                        "La entrada estándar terminó antes de leer todas las respuestas."));
    return sinFinDeLinea(std::move(respuesta));
  }
  escribir(terminal_, std::string(pregunta) + ": ");
  std::optional<SinEco> callado;
  if (!eco) callado.emplace(terminal_);
  // A stop while waiting for an answer ends the process (nothing else is running yet), with
  // the terminal's echo back on.
  const std::stop_callback salir(parar_, [&callado] {
    if (callado) callado->restaurar();
    std::_Exit(130);
  });
  return leerTerminal();
}

std::string Preguntas::leerTerminal() {
  std::string respuesta;
  char c = 0;
  while (true) {
    const auto n = read(terminal_, &c, 1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || c == '\n') break;
    respuesta.push_back(c);
  }
  return sinFinDeLinea(std::move(respuesta));
}

}  // namespace vemlo::cli
