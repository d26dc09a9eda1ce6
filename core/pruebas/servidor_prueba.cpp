// Loopback servers for the transport and pipeline tests.
#include "servidor_prueba.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace vemlo::pruebas {
namespace {

std::string minusculas(std::string texto) {
  std::ranges::transform(texto, texto.begin(), [](unsigned char c) { return std::tolower(c); });
  return texto;
}

// Headers that cpp-httplib adds to a request itself.
bool esDeHttplib(const std::string& nombre) {
  return nombre == "REMOTE_ADDR" || nombre == "REMOTE_PORT" || nombre == "LOCAL_ADDR" ||
         nombre == "LOCAL_PORT";
}

int escucharEnLoopback(int& puerto) {
  const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in dir{};
  dir.sin_family = AF_INET;
  dir.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t largo = sizeof dir;
  if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&dir), sizeof dir) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&dir), &largo) != 0)
    throw std::runtime_error("no se pudo escuchar en 127.0.0.1");
  puerto = ntohs(dir.sin_port);
  return s;
}

}  // namespace

ServidorHttp::ServidorHttp(Responder responder) : responder_(std::move(responder)) {
  auto manejar = [this](const httplib::Request& pedido, httplib::Response& respuesta) {
    PedidoVisto visto{pedido.method, pedido.target, {}, pedido.body};
    for (const auto& [nombre, valor] : pedido.headers)
      if (!esDeHttplib(nombre)) visto.cabeceras[minusculas(nombre)] = valor;
    {
      std::lock_guard bloqueo(candado_);
      vistos_.push_back(std::move(visto));
    }
    responder_(pedido, respuesta);
  };
  servidor_.Get(".*", manejar);
  servidor_.Post(".*", manejar);
  servidor_.Put(".*", manejar);
  servidor_.Patch(".*", manejar);
  servidor_.Delete(".*", manejar);
  servidor_.set_tcp_nodelay(true);
  servidor_.set_keep_alive_max_count(1000000);
  puerto_ = servidor_.bind_to_any_port("127.0.0.1");
  hilo_ = std::thread([this] { servidor_.listen_after_bind(); });
  while (!servidor_.is_running()) std::this_thread::yield();
}

ServidorHttp::~ServidorHttp() {
  servidor_.stop();
  hilo_.join();
}

std::vector<PedidoVisto> ServidorHttp::vistos() const {
  std::lock_guard bloqueo(candado_);
  return vistos_;
}

ServidorCrudo::ServidorCrudo(std::string respuesta, bool cerrar)
    : respuesta_(std::move(respuesta)), cerrar_(cerrar) {
  escucha_ = escucharEnLoopback(puerto_);
  if (pipe2(despertar_, O_CLOEXEC) != 0) throw std::runtime_error("pipe2");
  hilo_ = std::thread([this] { atender(); });
}

ServidorCrudo::~ServidorCrudo() {
  (void)!write(despertar_[1], "x", 1);
  hilo_.join();
  for (int fd : {escucha_, despertar_[0], despertar_[1]}) close(fd);
}

void ServidorCrudo::atender() {
  std::vector<int> abiertas;
  while (true) {
    pollfd fds[2] = {{escucha_, POLLIN, 0}, {despertar_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN)) break;
    const int c = accept4(escucha_, nullptr, nullptr, SOCK_CLOEXEC);
    if (c < 0) continue;
    std::string cabeza;
    char bloque[4096];
    while (cabeza.find("\r\n\r\n") == std::string::npos) {
      const auto n = read(c, bloque, sizeof bloque);
      if (n <= 0) break;
      cabeza.append(bloque, static_cast<std::size_t>(n));
    }
    (void)!write(c, respuesta_.data(), respuesta_.size());
    if (cerrar_)
      close(c);
    else
      abiertas.push_back(c);
  }
  for (int c : abiertas) close(c);
}

int puertoCerrado() {
  int puerto = 0;
  close(escucharEnLoopback(puerto));
  return puerto;
}

}  // namespace vemlo::pruebas
