// The child process of a vemlo-cli run: made with posix_spawn (the test is multithreaded),
// stdin written whole and closed, stdout and stderr drained by a thread until both close.
// Also the local scratch folders of the tests.
#include "binario.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "comun.h"

extern char** environ;

namespace vemlo::pruebas {
namespace {

std::vector<std::string> entornoDelHijo(const Entorno& cambios) {
  std::vector<std::string> variables;
  for (char** v = environ; *v; ++v) {
    const std::string variable(*v);
    if (!cambios.contains(variable.substr(0, variable.find('=')))) variables.push_back(variable);
  }
  for (const auto& [nombre, valor] : cambios)
    if (!valor.empty()) variables.push_back(nombre + "=" + valor);
  return variables;
}

std::vector<char*> punteros(std::vector<std::string>& textos) {
  std::vector<char*> lista;
  for (auto& texto : textos) lista.push_back(texto.data());
  lista.push_back(nullptr);
  return lista;
}

void escribirTodo(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

std::string Resultado::resumen() const {
  return "estado " + std::to_string(estado) + ", stdout «" + salida + "», stderr «" + errores + "»";
}

Ejecucion::Ejecucion(const std::vector<std::string>& argumentos, const std::string& entrada,
                     const Entorno& entorno) {
  std::vector<std::string> argv{VEMLO_CLI_BINARIO};
  argv.insert(argv.end(), argumentos.begin(), argumentos.end());
  auto variables = entornoDelHijo(entorno);
  int adentro[2], afuera[2], errores[2];
  if (pipe2(adentro, O_CLOEXEC) || pipe2(afuera, O_CLOEXEC) || pipe2(errores, O_CLOEXEC))
    throw std::runtime_error("pipe2 falló");
  posix_spawn_file_actions_t acciones;
  posix_spawn_file_actions_init(&acciones);
  posix_spawn_file_actions_adddup2(&acciones, adentro[0], 0);
  posix_spawn_file_actions_adddup2(&acciones, afuera[1], 1);
  posix_spawn_file_actions_adddup2(&acciones, errores[1], 2);
  // Its own session: no controlling terminal, so prompts cannot reach the tester's tty.
  posix_spawnattr_t atributos;
  posix_spawnattr_init(&atributos);
  posix_spawnattr_setflags(&atributos, POSIX_SPAWN_SETSID);
  const int error = posix_spawn(&pid_, argv[0].c_str(), &acciones, &atributos,
                                punteros(argv).data(), punteros(variables).data());
  posix_spawnattr_destroy(&atributos);
  posix_spawn_file_actions_destroy(&acciones);
  close(adentro[0]);
  close(afuera[1]);
  close(errores[1]);
  if (error != 0) throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(error));
  escribirTodo(adentro[1], entrada);
  close(adentro[1]);
  lector_ = std::thread([this, o = afuera[0], e = errores[0]] { leer(o, e); });
}

Ejecucion::~Ejecucion() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (lector_.joinable()) lector_.join();
}

void Ejecucion::leer(int salida, int errores) {
  pollfd fds[2] = {{salida, POLLIN, 0}, {errores, POLLIN, 0}};
  for (int abiertas = 2; abiertas > 0;) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) break;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char bloque[4096];
      const auto n = read(fds[i].fd, bloque, sizeof bloque);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --abiertas;
        continue;
      }
      std::lock_guard bloqueo(candado_);
      (i == 0 ? resultado_.salida : resultado_.errores).append(bloque, static_cast<std::size_t>(n));
    }
  }
}

void Ejecucion::senal(int numero) const {
  if (pid_ > 0) kill(pid_, numero);
}

Resultado Ejecucion::esperar(std::chrono::milliseconds plazo) {
  const auto hasta = std::chrono::steady_clock::now() + plazo;
  int estado = 0;
  while (waitpid(pid_, &estado, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > hasta) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &estado, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
  lector_.join();
  std::lock_guard bloqueo(candado_);
  resultado_.estado = WIFEXITED(estado) ? WEXITSTATUS(estado) : 128 + WTERMSIG(estado);
  return resultado_;
}

Resultado correr(const std::vector<std::string>& argumentos, const Entorno& entorno,
                 const std::string& entrada) {
  return Ejecucion(argumentos, entrada, entorno).esperar();
}

CarpetaLocal::CarpetaLocal() {
  const char* tmp = std::getenv("TMPDIR");
  std::string plantilla = std::string(tmp && *tmp ? tmp : "/tmp") + "/vemlo-cli.XXXXXX";
  if (!mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp falló");
  ruta_ = plantilla;
}

CarpetaLocal::~CarpetaLocal() {
  std::error_code ignorado;
  std::filesystem::remove_all(ruta_, ignorado);
}

std::filesystem::path CarpetaLocal::escribir(const std::string& relativa,
                                             const std::string& bytes) const {
  const auto archivo = ruta_ / relativa;
  std::filesystem::create_directories(archivo.parent_path());
  std::ofstream(archivo, std::ios::binary) << bytes;
  return archivo;
}

std::string CarpetaLocal::leer(const std::filesystem::path& archivo) {
  std::ifstream entrada(archivo, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(entrada), {});
}

std::vector<std::string> CarpetaLocal::nombres(const std::string& relativa) const {
  std::vector<std::string> lista;
  for (const auto& entrada : std::filesystem::directory_iterator(ruta_ / relativa))
    lista.push_back(entrada.path().filename().string());
  std::sort(lista.begin(), lista.end());
  return lista;
}

}  // namespace vemlo::pruebas
