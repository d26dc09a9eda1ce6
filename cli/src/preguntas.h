// Asking the user during sign-in: the e-mail, the password without echo, the two-step code.
// Answers come from the terminal (/dev/tty, so a redirected stdin does not matter), or, with
// --password-stdin, from standard input one line each, in the order asked (password first,
// then the code when the service asks for one), with no prompt printed.
#pragma once

#include <stop_token>
#include <string>
#include <string_view>

namespace vemlo::cli {

class Preguntas {
 public:
  // Fails with ErrorUso when answers must come from a terminal and there is none.
  Preguntas(bool desdeEntrada, std::stop_token parar);
  ~Preguntas();
  Preguntas(const Preguntas&) = delete;
  Preguntas& operator=(const Preguntas&) = delete;

  // One answer, shown as typed; `secreta` does not echo it. Ctrl-C ends the process (130)
  // with the terminal as it was.
  std::string linea(std::string_view pregunta);
  std::string secreta(std::string_view pregunta);

 private:
  std::string leer(std::string_view pregunta, bool eco);
  std::string leerTerminal();

  bool desdeEntrada_;
  std::stop_token parar_;
  int terminal_ = -1;
};

}  // namespace vemlo::cli
