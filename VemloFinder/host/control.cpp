// The control socket's server: it answers only its own user or root, each connection on a
// thread of its own.
#include "control.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "finder/enchufe.h"
#include "finder/limite_cache.h"
#include "motivos.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

constexpr timeval kEsperaDelCliente{.tv_sec = 10, .tv_usec = 0};

[[noreturn]] void fallaSistema(const std::string& que) {
  throw std::system_error(errno, std::system_category(), que);
}

Descriptor escuchar(const fs::path& ruta) {
  const auto dir = direccionDe(ruta);
  Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) fallaSistema("socket");
  if (unlink(ruta.c_str()) != 0 && errno != ENOENT) fallaSistema("unlink " + ruta.string());
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&dir), sizeof dir) != 0)
    fallaSistema("bind " + ruta.string());
  if (listen(fd.get(), 16) != 0) fallaSistema("listen");
  return fd;
}

// An error's detail fit for one answer line.
std::string enUnaLinea(std::string texto) {
  for (auto& c : texto) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return texto;
}

// "<identifier> <id>" as its two parts (the identifier has no space; the id is the rest).
std::pair<std::string, std::string> dominioEItem(const std::string& resto) {
  const auto espacio = resto.find(' ');
  if (espacio == std::string::npos || espacio == 0 || espacio + 1 == resto.size())
    throw std::invalid_argument("expected a domain and an item");
  return {resto.substr(0, espacio), resto.substr(espacio + 1)};
}

std::uint64_t bytesDe(const std::string& texto) {
  const auto limite = leerTamano(texto);
  if (!limite || texto.find_first_not_of("0123456789") != std::string::npos)
    throw std::invalid_argument("expected the limit in bytes");
  return *limite;
}

}  // namespace

Control::Control(Anfitrion& anfitrion)
    : anfitrion_(anfitrion),
      ruta_(prepararCarpetaDeEjecucion() / "finder.sock"),
      escucha_(escuchar(ruta_)) {}

Control::~Control() {
  unlink(ruta_.c_str());
}

void Control::servir(std::stop_token parar) {
  const Despertador despertador(std::move(parar));
  while (despertador.esperar(escucha_.get())) aceptar();
  conexiones_.clear();
}

// Takes one waiting connection, if any is still there, and answers it on a new thread.
void Control::aceptar() {
  Descriptor cliente(accept4(escucha_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!cliente || !delMismoUsuario(cliente.get())) return;
  std::erase_if(conexiones_, [](const Conexion& c) { return c.terminada.load(); });
  auto& conexion = conexiones_.emplace_back();
  conexion.hilo = std::jthread([this, &conexion, fd = std::move(cliente)] {
    atender(fd.get());
    conexion.terminada = true;
  });
}

void Control::atender(int cliente) {
  // A client that never sends its line must not keep the host from stopping.
  setsockopt(cliente, SOL_SOCKET, SO_RCVTIMEO, &kEsperaDelCliente, sizeof kEsperaDelCliente);
  setsockopt(cliente, SOL_SOCKET, SO_SNDTIMEO, &kEsperaDelCliente, sizeof kEsperaDelCliente);
  if (const auto linea = leerLinea(cliente)) enviarTodo(cliente, responder(*linea));
}

std::string Control::responder(const std::string& linea) {
  try {
    if (linea == "estado")
      return anfitrion_.estado().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
             "\n";
    if (linea.starts_with("item "))
      return anfitrion_.ubicar(linea.substr(5))
                 .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) +
             "\n";
    if (linea.starts_with("senal ")) {
      anfitrion_.senal(linea.substr(6));
      return "ok\n";
    }
    if (linea.starts_with("fijar ") || linea.starts_with("soltar ")) {
      const bool fijar = linea.starts_with("fijar ");
      const auto [identifier, id] = dominioEItem(linea.substr(fijar ? 6 : 7));
      anfitrion_.fijar(identifier, id, fijar);
      return "ok\n";
    }
    if (linea.starts_with("limite ")) {
      anfitrion_.limitarCache(bytesDe(linea.substr(7)));
      return "ok\n";
    }
    return "error orden unknown command\n";
  } catch (const std::exception& e) {
    return "error " + codigoDe(std::current_exception()) + " " + enUnaLinea(e.what()) + "\n";
  }
}

}  // namespace vemlo::finder::host
