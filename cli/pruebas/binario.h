// Running the built vemlo-cli for a test: its arguments, what it reads on stdin, the service it
// talks to (VEMLO_SERVICIO) and its language; what it printed and how it ended. A run can
// also be left going, signalled and waited for (the Ctrl-C tests).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vemlo::pruebas {

struct Resultado {
  int estado = -1;  // the exit status, or 128 + the signal that ended it
  std::string salida;
  std::string errores;
  // "estado 1, stdout «…», stderr «…»" for failure messages.
  std::string resumen() const;
};

// Environment variables set for the child on top of the test's own (VEMLO_SERVICIO,
// LANGUAGE, …); an empty value removes the variable.
using Entorno = std::map<std::string, std::string>;

class Ejecucion {
 public:
  Ejecucion(const std::vector<std::string>& argumentos, const std::string& entrada,
            const Entorno& entorno);
  ~Ejecucion();
  Ejecucion(const Ejecucion&) = delete;
  Ejecucion& operator=(const Ejecucion&) = delete;

  void senal(int numero) const;
  // Waits for the end (killing the child after `plazo`) and gives what it printed.
  Resultado esperar(std::chrono::milliseconds plazo = std::chrono::seconds(60));

 private:
  void leer(int salida, int errores);

  pid_t pid_ = -1;
  std::thread lector_;
  std::mutex candado_;  // guards the texts the reader appends to
  Resultado resultado_;
};

// One whole run.
Resultado correr(const std::vector<std::string>& argumentos, const Entorno& entorno,
                 const std::string& entrada = "");

}  // namespace vemlo::pruebas
