// The control socket's wire: addresses, credentials, one line in, all bytes out.
#include "finder/enchufe.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace vemlo::finder {
namespace {

constexpr std::size_t kLineaMaxima = 8192;  // a request naming a path of PATH_MAX fits

}  // namespace

sockaddr_un direccionDe(const std::filesystem::path& ruta) {
  sockaddr_un dir{};
  dir.sun_family = AF_UNIX;
  if (ruta.native().size() >= sizeof dir.sun_path)
    throw std::runtime_error("the control socket's path is too long: " + ruta.string());
  std::memcpy(dir.sun_path, ruta.c_str(), ruta.native().size());
  return dir;
}

bool delMismoUsuario(int fd) {
  ucred credenciales{};
  socklen_t largo = sizeof credenciales;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credenciales, &largo) != 0) return false;
  return credenciales.uid == getuid() || credenciales.uid == 0;
}

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
  const auto fin = linea.find('\n');
  // A line cut at the limit is not the request that was sent (a shorter path, say): none.
  if (linea.empty() || (fin == std::string::npos && linea.size() >= kLineaMaxima))
    return std::nullopt;
  return linea.substr(0, fin);
}

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
    if (n < 0) throw std::system_error(errno, std::system_category(), "read the host's answer");
    if (n == 0) return bytes;
    bytes.append(bloque, static_cast<std::size_t>(n));
  }
}

}  // namespace vemlo::finder
