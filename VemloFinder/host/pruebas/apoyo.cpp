// Shell, waiting and files for the Vemlo folder's tests.
#include "apoyo.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace vemlo::pruebas {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

Salida sh(const std::string& orden, const fs::path& carpeta) {
  int tubo[2];
  if (pipe2(tubo, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t acciones;
  posix_spawn_file_actions_init(&acciones);
  posix_spawn_file_actions_addchdir_np(&acciones, carpeta.c_str());
  posix_spawn_file_actions_adddup2(&acciones, tubo[1], 1);
  posix_spawn_file_actions_adddup2(&acciones, tubo[1], 2);
  const char* argv[] = {"sh", "-c", orden.c_str(), nullptr};
  pid_t hijo = -1;
  const int fallo =
      posix_spawn(&hijo, "/bin/sh", &acciones, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&acciones);
  close(tubo[1]);
  Salida salida;
  char bloque[4096];
  for (ssize_t n; (n = read(tubo[0], bloque, sizeof bloque)) > 0;)
    salida.texto.append(bloque, static_cast<std::size_t>(n));
  close(tubo[0]);
  int estado = 0;
  if (fallo != 0 || waitpid(hijo, &estado, 0) < 0) return salida;
  salida.estado = WIFEXITED(estado) ? WEXITSTATUS(estado) : -1;
  return salida;
}

bool esperar(const std::function<bool()>& condicion, std::chrono::milliseconds plazo) {
  const auto hasta = std::chrono::steady_clock::now() + plazo;
  while (!condicion()) {
    if (std::chrono::steady_clock::now() > hasta) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

std::string leer(const fs::path& ruta) {
  std::ifstream entrada(ruta, std::ios::binary);
  return {std::istreambuf_iterator<char>(entrada), {}};
}

bool montado(const fs::path& punto) {
  std::ifstream info("/proc/self/mountinfo");
  for (std::string linea; std::getline(info, linea);) {
    if (linea.find(" " + punto.string() + " ") != std::string::npos &&
        linea.find(" fuse.vemlo ") != std::string::npos)
      return true;
  }
  return false;
}

}  // namespace vemlo::pruebas
