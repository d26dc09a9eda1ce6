// The transport: the one interface through which every request reaches the network, and the
// classification of the ways a transfer can fail.
#pragma once

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vemlo/error.h"

namespace vemlo {

using Cabeceras = std::vector<std::pair<std::string, std::string>>;

// An HTTP request ready to send. `tiempoLimite` is an inactivity limit: connecting, or a
// transfer that moves less than one byte a second for that long, fails.
struct Pedido {
  std::string metodo;
  std::string url;
  Cabeceras cabeceras;
  std::chrono::seconds tiempoLimite{60};

  // Sets a header, replacing one of the same name (names compare ignoring case).
  void poner(std::string_view nombre, std::string valor);
  std::optional<std::string> cabecera(std::string_view nombre) const;
};

// An HTTP answer, whatever its status.
struct Respuesta {
  int estado = 0;
  Cabeceras cabeceras;
  std::string cuerpo;

  std::optional<std::string> cabecera(std::string_view nombre) const;
};

// Takes the body of a successful answer piece by piece; it may throw to end the transfer.
using Sumidero = std::function<void(std::string_view trozo)>;

class Transporte {
 public:
  virtual ~Transporte() = default;
  // Sends the request with an optional body (kept alive by the caller until this returns)
  // and gives the answer. Fails with ErrorVemlo: classified transport failures, `formato`
  // for an answer that is not HTTP, `cancelado` when `parar` is requested meanwhile.
  virtual Respuesta enviar(const Pedido& pedido, std::optional<std::string_view> cuerpo,
                           std::stop_token parar) = 0;
  // Sends a bodiless request like `enviar`, but hands the body of an answer below 300 to
  // `sumidero` as it arrives instead of keeping it (a failure's body is kept as usual).
  virtual Respuesta recibir(const Pedido& pedido, const Sumidero& sumidero,
                            std::stop_token parar) = 0;
};

// Any failure of a transfer as an ErrorVemlo: cancellations are `cancelado`; a connection
// lost mid-transfer or an unreachable network is `red`; anything else is `servidor` while
// the device has a network path (`conRed`) and `red` without one.
ErrorVemlo errorDeTransporte(std::exception_ptr fallo, bool conRed);

}  // namespace vemlo
