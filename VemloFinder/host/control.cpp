// The control socket's server and client. Both ends check the other's credentials
// (SO_PEERCRED): the server answers only its own user or root, and the client talks only to a
// host of its own user or root. Sends use MSG_NOSIGNAL, so a peer gone early costs no SIGPIPE.
#include "control.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <system_error>

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kLineaMaxima = 4096;
constexpr timeval kEsperaDelCliente{.tv_sec = 10, .tv_usec = 0};

[[noreturn]] void fallaSistema(const std::string& que) {
  throw std::system_error(errno, std::system_category(), que);
}

sockaddr_un direccion(const fs::path& ruta) {
  sockaddr_un dir{};
  dir.sun_family = AF_UNIX;
  if (ruta.native().size() >= sizeof dir.sun_path)
    throw std::runtime_error("the control socket's path is too long: " + ruta.string());
  std::memcpy(dir.sun_path, ruta.c_str(), ruta.native().size());
  return dir;
}

Descriptor escuchar(const fs::path& ruta) {
  const auto dir = direccion(ruta);
  Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd) fallaSistema("socket");
  if (unlink(ruta.c_str()) != 0 && errno != ENOENT) fallaSistema("unlink " + ruta.string());
  if (bind(fd.get(), reinterpret_cast<const sockaddr*>(&dir), sizeof dir) != 0)
    fallaSistema("bind " + ruta.string());
  if (listen(fd.get(), 16) != 0) fallaSistema("listen");
  return fd;
}

bool delMismoUsuario(int fd) {
  ucred credenciales{};
  socklen_t largo = sizeof credenciales;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credenciales, &largo) != 0) return false;
  return credenciales.uid == getuid() || credenciales.uid == 0;
}

// The bytes before the first newline, or before the end; none when nothing came in time.
std::optional<std::string> leerLinea(int fd) {
  std::string linea;
  char bloque[512];
  while (linea.size() < kLineaMaxima && linea.find('\n') == std::string::npos) {
    const auto n = recv(fd, bloque, sizeof bloque, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    linea.append(bloque, static_cast<std::size_t>(n));
  }
  if (linea.empty()) return std::nullopt;
  return linea.substr(0, linea.find('\n'));
}

// False when the peer is gone or stopped reading.
bool enviarTodo(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string leerHastaElFinal(int fd) {
  std::string bytes;
  char bloque[4096];
  for (;;) {
    const auto n = recv(fd, bloque, sizeof bloque, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fallaSistema("cannot read vemlo-finder's answer");
    if (n == 0) return bytes;
    bytes.append(bloque, static_cast<std::size_t>(n));
  }
}

// An error's text fit for one answer line.
std::string enUnaLinea(std::string texto) {
  for (auto& c : texto) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return texto;
}

}  // namespace

fs::path carpetaDeEjecucion() {
  const char* ejecucion = std::getenv("XDG_RUNTIME_DIR");
  if (ejecucion && *ejecucion == '/') return fs::path(ejecucion) / "vemlo";
  return fs::path("/tmp") / ("vemlo-" + std::to_string(getuid()));
}

fs::path prepararCarpetaDeEjecucion() {
  const auto carpeta = carpetaDeEjecucion();
  if (mkdir(carpeta.c_str(), 0700) != 0 && errno != EEXIST)
    throw fs::filesystem_error("mkdir", carpeta, {errno, std::generic_category()});
  // In a shared /tmp someone else may have made it first, or left a link in its place.
  struct stat datos {};
  if (lstat(carpeta.c_str(), &datos) != 0)
    throw fs::filesystem_error("lstat", carpeta, {errno, std::generic_category()});
  if (!S_ISDIR(datos.st_mode) || datos.st_uid != getuid())
    throw std::runtime_error(carpeta.string() + " is not a folder of this user");
  return carpeta;
}

fs::path archivoDeControl() {
  return carpetaDeEjecucion() / "finder.sock";
}

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
    if (linea.starts_with("senal ")) {
      anfitrion_.senal(linea.substr(6));
      return "ok\n";
    }
    return "error unknown command\n";
  } catch (const std::exception& e) {
    return "error " + enUnaLinea(e.what()) + "\n";
  }
}

std::string pedirAlAnfitrion(const std::string& linea) {
  const auto ruta = archivoDeControl();
  const auto dir = direccion(ruta);
  const Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) fallaSistema("socket");
  if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&dir), sizeof dir) != 0) {
    if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR)
      throw std::runtime_error("vemlo-finder is not running");
    fallaSistema("cannot reach vemlo-finder at " + ruta.string());
  }
  if (!delMismoUsuario(fd.get()))
    throw std::runtime_error(ruta.string() + " belongs to another user");
  const auto peticion = linea.ends_with('\n') ? linea : linea + "\n";
  if (!enviarTodo(fd.get(), peticion)) fallaSistema("cannot write to vemlo-finder");
  shutdown(fd.get(), SHUT_WR);
  return leerHastaElFinal(fd.get());
}

}  // namespace vemlo::finder::host
