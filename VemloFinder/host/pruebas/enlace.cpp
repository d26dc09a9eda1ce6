// The slow link: one thread accepts, one thread per connection relays both ways, the service's
// side in pieces with a pause after each that keeps to the rate.
#include "enlace.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace vemlo::finder::host::pruebas {
namespace {

constexpr std::size_t trozo = 16 << 10;

sockaddr_in local(int puerto) {
  sockaddr_in dir{};
  dir.sin_family = AF_INET;
  dir.sin_port = htons(static_cast<std::uint16_t>(puerto));
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return dir;
}

// Moves what `de` has (up to one piece) to `a`; false when either side is done.
bool mover(int de, int a, std::size_t& movidos) {
  char buf[trozo];
  const auto n = ::read(de, buf, sizeof buf);
  if (n <= 0) return false;
  for (ssize_t hecho = 0; hecho < n;) {
    const auto m = ::write(a, buf + hecho, static_cast<std::size_t>(n - hecho));
    if (m <= 0) return false;
    hecho += m;
  }
  movidos = static_cast<std::size_t>(n);
  return true;
}

}  // namespace

EnlaceLento::EnlaceLento(int puertoServicio, std::size_t bytesPorSegundo)
    : puertoServicio_(puertoServicio), bytesPorSegundo_(bytesPorSegundo) {
  escucha_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  auto dir = local(0);
  socklen_t largo = sizeof dir;
  if (escucha_ < 0 || ::bind(escucha_, reinterpret_cast<sockaddr*>(&dir), sizeof dir) != 0 ||
      ::listen(escucha_, 16) != 0 ||
      ::getsockname(escucha_, reinterpret_cast<sockaddr*>(&dir), &largo) != 0)
    throw std::runtime_error("el enlace no escucha");
  puerto_ = ntohs(dir.sin_port);
  aceptador_ = std::jthread([this](std::stop_token parar) { aceptar(parar); });
}

EnlaceLento::~EnlaceLento() {
  cortado_ = true;
  aceptador_.request_stop();
  aceptador_.join();
  conexiones_.clear();  // each stops and joins
  ::close(escucha_);
}

std::string EnlaceLento::base() const {
  return "http://127.0.0.1:" + std::to_string(puerto_);
}

void EnlaceLento::aceptar(std::stop_token parar) {
  while (!parar.stop_requested()) {
    pollfd p{escucha_, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    const int cliente = ::accept4(escucha_, nullptr, nullptr, SOCK_CLOEXEC);
    if (cliente < 0) continue;
    if (cortado_) {
      ::close(cliente);
      continue;
    }
    std::lock_guard bloqueo(candado_);
    conexiones_.emplace_back([this, cliente](std::stop_token fin) { pasar(cliente, fin); });
  }
}

void EnlaceLento::pasar(int cliente, std::stop_token parar) {
  const int servicio = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const auto dir = local(puertoServicio_);
  bool abierta = ::connect(servicio, reinterpret_cast<const sockaddr*>(&dir), sizeof dir) == 0;
  while (abierta && !parar.stop_requested() && !cortado_) {
    pollfd p[2] = {{cliente, POLLIN, 0}, {servicio, POLLIN, 0}};
    if (::poll(p, 2, 20) <= 0) continue;
    std::size_t movidos = 0;
    if (p[0].revents) abierta = mover(cliente, servicio, movidos);
    if (abierta && p[1].revents) {
      abierta = mover(servicio, cliente, movidos);
      std::this_thread::sleep_for(
          std::chrono::microseconds(movidos * 1'000'000 / bytesPorSegundo_));
    }
  }
  ::close(servicio);
  ::close(cliente);
}

}  // namespace vemlo::finder::host::pruebas
