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
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "anfitrion.h"
#include "control.h"
#include "finder/situacion.h"
#include "vemlo/mensajes.h"
#include "vemlo/version.h"

namespace finder = vemlo::finder;
namespace host = vemlo::finder::host;

namespace {

constexpr std::string_view kUso =
    "Usage: vemlo-finder [--estado [--json] | --senal ID | --version | --help]\n"
    "\n"
    "With no arguments, mounts every enabled Vemlo domain and serves it until stopped.\n"
    "  --estado         print each domain's folder: where, mounted or why not, failed uploads\n"
    "  --estado --json  the same as one JSON document, with codes for reasons\n"
    "  --senal ID       make the running host look for changes in domain ID\n"
    "  --version        print the version\n"
    "  --help           print this help\n";

// Says why the host could not be asked, in the user's language when it is not running.
int sinRespuesta(const std::exception& e) {
  if (dynamic_cast<const finder::SinAnfitrion*>(&e))
    std::cerr << "vemlo-finder: " << vemlo::mensaje("sinAnfitrion", vemlo::enEspanol()) << '\n';
  else
    std::cerr << "vemlo-finder: " << e.what() << '\n';
  return 1;
}

void imprimirLegible(const nlohmann::json& estado) {
  if (estado["dominios"].empty())
    std::cout << (vemlo::enEspanol() ? "Ninguna empresa tiene carpeta Vemlo todavía.\n"
                                     : "No company has a Vemlo folder yet.\n");
  for (const auto& entrada : estado["dominios"]) {
    const auto nombre = entrada.value("displayName", "");
    std::cout << (nombre.empty() ? entrada.value("identifier", "") : nombre) << ": "
              << finder::situacionLegible(entrada) << " (" << entrada.value("puntoDeMontaje", "")
              << ")\n";
  }
  for (const auto& linea : finder::fallosLegibles(estado["dominios"]))
    std::cout << "  " << linea << '\n';
}

int mostrarEstado(bool comoJson) {
  try {
    const auto estado = nlohmann::json::parse(finder::pedirAlAnfitrion("estado"), nullptr, false);
    if (!estado.is_object() || !estado.contains("dominios") || !estado["dominios"].is_array()) {
      std::cerr << "vemlo-finder: the running host gave an unreadable status\n";
      return 1;
    }
    if (comoJson)
      std::cout << estado.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    else
      imprimirLegible(estado);
    return 0;
  } catch (const std::exception& e) {
    return sinRespuesta(e);
  }
}

int enviarSenal(const std::string& identifier) {
  try {
    const auto motivo = finder::senalar(identifier);
    if (!motivo) return 0;
    std::cerr << "vemlo-finder: " << vemlo::mensaje(*motivo, vemlo::enEspanol()) << '\n';
    return 1;
  } catch (const std::exception& e) {
    return sinRespuesta(e);
  }
}

// The single-instance lock, held while the descriptor is open; empty when another host has it.
vemlo::Descriptor tomarCerrojo() {
  const auto ruta = finder::prepararCarpetaDeEjecucion() / "finder.lock";
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
  if (argumentos.size() == 1 && argumentos[0] == "--version") {
    std::cout << "vemlo-finder " << vemlo::kVersion << "\n";
    return 0;
  }
  if (argumentos.size() == 1 && argumentos[0] == "--estado") return mostrarEstado(false);
  if (argumentos.size() == 2 && argumentos[0] == "--estado" && argumentos[1] == "--json")
    return mostrarEstado(true);
  if (argumentos.size() == 2 && argumentos[0] == "--senal")
    return enviarSenal(std::string(argumentos[1]));
  std::cerr << kUso;
  return 2;
}
