// vemlo-finder: with no arguments, the host that shows each enabled domain of the registry as
// a FUSE mount, one instance per user, until SIGINT, SIGTERM or SIGHUP; with --estado or
// --senal, a client that asks the running host over its control socket.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "anfitrion.h"
#include "control.h"

namespace host = vemlo::finder::host;

namespace {

constexpr std::string_view kUso =
    "Usage: vemlo-finder [--estado | --senal ID | --help]\n"
    "\n"
    "With no arguments, mounts every enabled Vemlo domain and serves it until stopped.\n"
    "  --estado    print the running host's status as JSON\n"
    "  --senal ID  make the running host look for changes in domain ID\n"
    "  --help      print this help\n";

// The request's answer, or none after printing why the host could not be asked.
std::optional<std::string> preguntar(const std::string& linea) {
  try {
    return host::pedirAlAnfitrion(linea);
  } catch (const std::exception& e) {
    std::cerr << e.what() << '\n';
    return std::nullopt;
  }
}

// The text of an "error <text>" answer, or what is wrong with an answer of another shape.
std::string textoDeError(std::string respuesta) {
  if (respuesta.ends_with('\n')) respuesta.pop_back();
  if (respuesta.starts_with("error ")) return respuesta.substr(6);
  return respuesta.empty() ? "no answer from vemlo-finder" : "unexpected answer: " + respuesta;
}

int mostrarEstado() {
  const auto respuesta = preguntar("estado");
  if (!respuesta) return 1;
  const auto estado = nlohmann::json::parse(*respuesta, nullptr, false);
  if (!estado.is_object()) {
    std::cerr << "vemlo-finder: " << textoDeError(*respuesta) << '\n';
    return 1;
  }
  std::cout << estado.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  return 0;
}

int enviarSenal(const std::string& identifier) {
  const auto respuesta = preguntar("senal " + identifier);
  if (!respuesta) return 1;
  if (*respuesta == "ok\n") return 0;
  std::cerr << "vemlo-finder: " << textoDeError(*respuesta) << '\n';
  return 1;
}

// The single-instance lock, held while the descriptor is open; empty when another host has it.
vemlo::Descriptor tomarCerrojo() {
  const auto ruta = host::prepararCarpetaDeEjecucion() / "finder.lock";
  vemlo::Descriptor fd(open(ruta.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd) throw std::system_error(errno, std::system_category(), "open " + ruta.string());
  if (flock(fd.get(), LOCK_EX | LOCK_NB) == 0) return fd;
  if (errno == EWOULDBLOCK) return vemlo::Descriptor();
  throw std::system_error(errno, std::system_category(), "flock " + ruta.string());
}

sigset_t senalesDeParada() {
  sigset_t conjunto;
  sigemptyset(&conjunto);
  sigaddset(&conjunto, SIGINT);
  sigaddset(&conjunto, SIGTERM);
  sigaddset(&conjunto, SIGHUP);
  return conjunto;
}

host::Avisos avisos() {
  return {
      .alFallar =
          [](const vemlo::finder::DominioRegistrado& dominio, const std::string& motivo) {
            std::cerr << "vemlo-finder: cannot mount " << dominio.displayName << " ("
                      << dominio.identifier << "): " << motivo << std::endl;
          },
      .alEmpezar =
          [](std::size_t montados) {
            std::cout << "vemlo-finder: serving " << montados << " domains" << std::endl;
          },
  };
}

// A worker thread's body: a failure is printed and stops the host as a signal would.
template <class Trabajo>
auto trabajador(std::atomic<bool>& fallo, Trabajo trabajo) {
  return [&fallo, trabajo](std::stop_token parar) {
    try {
      trabajo(std::move(parar));
    } catch (const std::exception& e) {
      std::cerr << "vemlo-finder: " << e.what() << std::endl;
      fallo = true;
      kill(getpid(), SIGTERM);
    }
  };
}

// Serves until a stop signal. The threads end (stop requested, joined) before the control
// socket goes, and the control socket before the host, which unmounts every domain.
int correr(const sigset_t& parada) {
  host::Anfitrion anfitrion(avisos());
  host::Control control(anfitrion);
  std::atomic<bool> fallo{false};
  {
    const std::jthread seguidor(
        trabajador(fallo, [&](std::stop_token parar) { anfitrion.seguir(std::move(parar)); }));
    const std::jthread servidor(
        trabajador(fallo, [&](std::stop_token parar) { control.servir(std::move(parar)); }));
    int senal = 0;
    sigwait(&parada, &senal);
  }
  return fallo ? 1 : 0;
}

int servir() {
  // Blocked before any thread exists, so every thread made later has them blocked too and
  // only sigwait below receives them.
  const auto parada = senalesDeParada();
  pthread_sigmask(SIG_BLOCK, &parada, nullptr);
  try {
    const auto cerrojo = tomarCerrojo();
    if (!cerrojo) {
      std::cerr << "vemlo-finder is already running\n";
      return 0;
    }
    return correr(parada);
  } catch (const std::exception& e) {
    std::cerr << "vemlo-finder: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> argumentos(argv + 1, argv + argc);
  if (argumentos.empty()) return servir();
  if (argumentos.size() == 1 && (argumentos[0] == "--help" || argumentos[0] == "-h")) {
    std::cout << kUso;
    return 0;
  }
  if (argumentos.size() == 1 && argumentos[0] == "--estado") return mostrarEstado();
  if (argumentos.size() == 2 && argumentos[0] == "--senal")
    return enviarSenal(std::string(argumentos[1]));
  std::cerr << kUso;
  return 2;
}
