// Conectividad tells the classification of transport failures whether the device has a usable
// network path at all, so that "no network" can be told apart from a failing service. The path
// counts as satisfied when a default route of the main table, IPv4 or IPv6, leaves through an
// interface that is up and running. MonitorRutas keeps that answer current: it listens to link
// and route notifications on a netlink socket, on its own thread, and after each batch of them
// reads the whole state again with a fresh dump. Whenever the state cannot be read, a path is
// assumed, as the flag starts true: a wrong "no network" would hide real service failures.

#include "vemlo/conectividad.h"

#include "vemlo/descriptor.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace vemlo {

namespace {

using Visitante = std::function<void(const nlmsghdr&)>;

// Interfaces that are up and running, and the ones default routes leave through.
struct EstadoRutas {
  std::vector<int> arriba;
  std::vector<int> salidas;
};

enum class Paso { seguir, fin, fallo };

// Dumps come in datagrams of up to 32 KiB, a bit more for links with many virtual functions.
constexpr size_t kTamBuffer = 65536;

// A socket for one-off dumps. The receive timeout keeps a silent kernel from holding the
// monitor's thread, and thereby its destructor, for long.
Descriptor abrirConsulta() {
  Descriptor fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  if (!fd) return fd;
  const timeval espera{.tv_sec = 2, .tv_usec = 0};
  ::setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &espera, sizeof espera);
  return fd;
}

// A non-blocking socket subscribed to link and route changes; empty when it cannot be had.
Descriptor abrirEventos() {
  Descriptor fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE));
  if (!fd) return fd;
  sockaddr_nl direccion{};
  direccion.nl_family = AF_NETLINK;
  direccion.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_ROUTE | RTMGRP_IPV6_ROUTE;
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&direccion), sizeof direccion) != 0) {
    return Descriptor();
  }
  return fd;
}

// Asks the kernel for a dump of every object of `tipo`, all address families at once.
template <typename Cuerpo>
bool pedirVolcado(int fd, uint16_t tipo, uint32_t secuencia) {
  struct {
    nlmsghdr cabecera;
    Cuerpo cuerpo;
  } pedido{};
  pedido.cabecera.nlmsg_len = NLMSG_LENGTH(sizeof(Cuerpo));
  pedido.cabecera.nlmsg_type = tipo;
  pedido.cabecera.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
  pedido.cabecera.nlmsg_seq = secuencia;
  while (true) {
    if (::send(fd, &pedido, pedido.cabecera.nlmsg_len, 0) >= 0) return true;
    if (errno != EINTR) return false;
  }
}

// Hands every message of one datagram that answers `secuencia` to `porMensaje`.
Paso recorrer(const char* datos, size_t largo, uint32_t secuencia, const Visitante& porMensaje) {
  while (largo >= sizeof(nlmsghdr)) {
    const auto* mensaje = reinterpret_cast<const nlmsghdr*>(datos);
    if (mensaje->nlmsg_len < sizeof(nlmsghdr) || mensaje->nlmsg_len > largo) return Paso::fallo;
    if (mensaje->nlmsg_seq == secuencia) {
      if (mensaje->nlmsg_type == NLMSG_DONE) return Paso::fin;
      if (mensaje->nlmsg_type == NLMSG_ERROR) return Paso::fallo;  // no acks were asked for
      porMensaje(*mensaje);
    }
    const size_t paso = std::min<size_t>(NLMSG_ALIGN(mensaje->nlmsg_len), largo);
    datos += paso;
    largo -= paso;
  }
  return Paso::seguir;
}

// Reads the datagrams of a multi-part answer until its NLMSG_DONE.
bool recibirVolcado(int fd, uint32_t secuencia, const Visitante& porMensaje) {
  std::vector<char> buffer(kTamBuffer);  // operator new aligns it for nlmsghdr
  while (true) {
    sockaddr_nl origen{};
    socklen_t largoOrigen = sizeof origen;
    const ssize_t n = ::recvfrom(fd, buffer.data(), buffer.size(), MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&origen), &largoOrigen);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || static_cast<size_t>(n) > buffer.size()) return false;
    if (origen.nl_pid != 0) continue;  // only the kernel answers dumps
    const Paso paso = recorrer(buffer.data(), static_cast<size_t>(n), secuencia, porMensaje);
    if (paso != Paso::seguir) return paso == Paso::fin;
  }
}

template <typename Cuerpo>
bool volcar(int fd, uint16_t tipo, uint32_t secuencia, const Visitante& porMensaje) {
  return pedirVolcado<Cuerpo>(fd, tipo, secuencia) && recibirVolcado(fd, secuencia, porMensaje);
}

void anotarEnlace(const nlmsghdr& mensaje, EstadoRutas& estado) {
  if (mensaje.nlmsg_type != RTM_NEWLINK || mensaje.nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) {
    return;
  }
  const auto* enlace = static_cast<const ifinfomsg*>(NLMSG_DATA(&mensaje));
  constexpr unsigned kArriba = IFF_UP | IFF_RUNNING;
  if ((enlace->ifi_flags & kArriba) == kArriba) estado.arriba.push_back(enlace->ifi_index);
}

// A 32-bit attribute's value; 0 (no table, no interface) when it is too short.
uint32_t entero(const rtattr& atributo) {
  uint32_t valor = 0;
  if (RTA_PAYLOAD(&atributo) >= sizeof valor) {
    std::memcpy(&valor, RTA_DATA(&atributo), sizeof valor);
  }
  return valor;
}

// The output interfaces of the nexthops in an RTA_MULTIPATH attribute.
void anotarSaltos(const rtattr& atributo, std::vector<int>& salidas) {
  const auto* salto = static_cast<const rtnexthop*>(RTA_DATA(&atributo));
  int resto = static_cast<int>(RTA_PAYLOAD(&atributo));
  while (resto >= static_cast<int>(sizeof(rtnexthop)) && RTNH_OK(salto, resto)) {
    salidas.push_back(salto->rtnh_ifindex);
    resto -= static_cast<int>(RTNH_ALIGN(salto->rtnh_len));
    salto = RTNH_NEXT(salto);
  }
}

bool esPorDefecto(const rtmsg& ruta) {
  return (ruta.rtm_family == AF_INET || ruta.rtm_family == AF_INET6) && ruta.rtm_dst_len == 0 &&
         ruta.rtm_type == RTN_UNICAST;
}

void anotarRuta(const nlmsghdr& mensaje, EstadoRutas& estado) {
  if (mensaje.nlmsg_type != RTM_NEWROUTE || mensaje.nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg))) return;
  const auto* ruta = static_cast<const rtmsg*>(NLMSG_DATA(&mensaje));
  if (!esPorDefecto(*ruta)) return;
  uint32_t tabla = ruta->rtm_table;  // RTA_TABLE, when present, holds the full number
  std::vector<int> salidas;
  int resto = static_cast<int>(RTM_PAYLOAD(&mensaje));
  for (auto* a = RTM_RTA(ruta); RTA_OK(a, resto); a = RTA_NEXT(a, resto)) {
    if (a->rta_type == RTA_TABLE) tabla = entero(*a);
    if (a->rta_type == RTA_OIF) salidas.push_back(static_cast<int>(entero(*a)));
    if (a->rta_type == RTA_MULTIPATH) anotarSaltos(*a, salidas);
  }
  if (tabla != RT_TABLE_MAIN) return;
  estado.salidas.insert(estado.salidas.end(), salidas.begin(), salidas.end());
}

bool evaluar(const EstadoRutas& estado) {
  return std::ranges::any_of(estado.salidas, [&](int salida) {
    return std::ranges::find(estado.arriba, salida) != estado.arriba.end();
  });
}

// Drains the event socket. Its content does not matter: any notification, or an overflow
// (ENOBUFS) that lost some, calls for a fresh reading. False on an unexpected failure.
bool leerMensajes(int eventos) {
  char buffer[8192];
  while (true) {
    if (::recv(eventos, buffer, sizeof buffer, 0) >= 0) continue;
    if (errno == EINTR || errno == ENOBUFS) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

}  // namespace

struct MonitorRutas::Hilo {
  std::function<void(bool)> alCambiar;
  Descriptor despertador;  // an eventfd: readable once the destructor asks the thread to end
  std::thread hilo;

  void vigilar();
  bool esperarCambio(int eventos);
};

// Blocks until notifications arrive (true) or the thread must end (false).
bool MonitorRutas::Hilo::esperarCambio(int eventos) {
  pollfd esperados[] = {{.fd = despertador.get(), .events = POLLIN, .revents = 0},
                        {.fd = eventos, .events = POLLIN, .revents = 0}};
  while (::poll(esperados, 2, -1) < 0) {
    if (errno != EINTR) return false;
  }
  if (esperados[0].revents != 0) return false;
  return leerMensajes(eventos);
}

// The thread's body. The event socket is open before the first reading, so no change made
// in between goes unnoticed. Every batch of notifications gives one report, even when the
// answer has not changed; Conectividad::actualizar makes repeating it harmless.
void MonitorRutas::Hilo::vigilar() {
  try {
    const Descriptor eventos = abrirEventos();
    if (!eventos) {
      alCambiar(true);
      return;
    }
    do {
      alCambiar(hayRutaPorDefecto());
    } while (esperarCambio(eventos.get()));
  } catch (...) {
    // Nothing may escape a thread; the flag keeps its last value.
  }
}

MonitorRutas::MonitorRutas(std::function<void(bool satisfecho)> alCambiar)
    : hilo_(new Hilo{std::move(alCambiar), Descriptor(::eventfd(0, EFD_CLOEXEC)), {}}) {
  if (!hilo_->despertador) throw std::system_error(errno, std::system_category(), "eventfd");
  hilo_->hilo = std::thread(&Hilo::vigilar, hilo_.get());
}

MonitorRutas::~MonitorRutas() {
  const uint64_t uno = 1;
  [[maybe_unused]] const ssize_t escrito = ::write(hilo_->despertador.get(), &uno, sizeof uno);
  hilo_->hilo.join();
}

bool MonitorRutas::hayRutaPorDefecto() {
  const Descriptor fd = abrirConsulta();
  EstadoRutas estado;
  const bool leido =
      fd &&
      volcar<ifinfomsg>(fd.get(), RTM_GETLINK, 1,
                        [&](const nlmsghdr& m) { anotarEnlace(m, estado); }) &&
      volcar<rtmsg>(fd.get(), RTM_GETROUTE, 2, [&](const nlmsghdr& m) { anotarRuta(m, estado); });
  return !leido || evaluar(estado);
}

Conectividad::~Conectividad() {
  monitor_.reset();  // first, so that no update arrives once the rest is gone
}

Conectividad& Conectividad::compartida() {
  static Conectividad* const instancia = [] {
    auto* nueva = new Conectividad();
    nueva->monitor_ =
        std::make_unique<MonitorRutas>([nueva](bool satisfecho) { nueva->actualizar(satisfecho); });
    return nueva;
  }();
  return *instancia;
}

bool Conectividad::conRed() const {
  std::lock_guard bloqueo(candado_);
  return conRed_;
}

void Conectividad::actualizar(bool satisfecho) {
  std::lock_guard bloqueo(candado_);
  conRed_ = satisfecho;
}

}  // namespace vemlo
