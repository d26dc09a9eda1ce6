// ErrorVemlo: the one failure type of the service client, thrown as an exception.
#pragma once

#include <exception>
#include <string>

namespace vemlo {

class ErrorVemlo : public std::exception {
 public:
  // What the caller should do with each case:
  enum class Caso {
    // The service refused with an HTTP status and a code of the message table: show
    // `descripcion`; "sesion" (or 401) means the stored session is dead, so forget it and ask
    // to sign in; see `reintentable` for the few worth sending again.
    api,
    // No answer at all (offline, DNS, refused, time-out): try again when the network is back.
    red,
    // The service answered but not as a service does (5xx pages, a proxy): try again later.
    servidor,
    // The answer could not be read as the contract says: a fault of one side; report it, do
    // not loop on it.
    formato,
    // Our own cancellation: stay silent.
    cancelado,
  };

  static ErrorVemlo api(int estado, std::string codigo);
  static ErrorVemlo red(std::string detalle);
  static ErrorVemlo servidor(std::string detalle);
  static ErrorVemlo formato(std::string detalle);
  static ErrorVemlo cancelado();

  Caso caso() const { return caso_; }
  // The HTTP status of an `api` failure; 0 for the other cases.
  int estado() const { return estado_; }
  // The code word: the service's code for `api`, else the case's name ("red", "formato"...).
  const std::string& codigo() const { return codigo_; }
  // The diagnostic text of `red`, `servidor` and `formato`; never shown to the user.
  const std::string& detalle() const { return detalle_; }

  // The user's message for this failure, in the language of `enEspanol`.
  std::string descripcion() const;
  // A diagnostic line such as "api 404 noExiste" or "red: Couldn't connect".
  const char* what() const noexcept override { return diagnostico_.c_str(); }

  bool operator==(const ErrorVemlo& otro) const {
    return caso_ == otro.caso_ && estado_ == otro.estado_ && codigo_ == otro.codigo_ &&
           detalle_ == otro.detalle_;
  }

 private:
  ErrorVemlo(Caso caso, int estado, std::string codigo, std::string detalle);
  Caso caso_;
  int estado_;
  std::string codigo_;
  std::string detalle_;
  std::string diagnostico_;
};

// True when sending the same request again later may succeed: the network, the service's
// side (`servidor`, 5xx), a time-out (408), too many requests (429), or a file the storage did
// not receive ("noLlego"). The upload engine retries these with back-off, and the Vemlo
// folder's uploader keeps them queued.
bool reintentable(const ErrorVemlo& error);

// True for a cancellation of any origin: `cancelado`, or a transfer that our own
// cancellation aborted. The screens stay silent for these.
bool esCancelacion(std::exception_ptr fallo);

}  // namespace vemlo
