// ErrorVemlo: the one failure type of the service client, thrown as an exception.
#pragma once

#include <exception>
#include <string>

namespace vemlo {

class ErrorVemlo : public std::exception {
 public:
  enum class Caso { api, red, servidor, formato, cancelado };

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

// True for a cancellation of any origin: `cancelado`, or a transfer that our own
// cancellation aborted. The screens stay silent for these.
bool esCancelacion(std::exception_ptr fallo);

}  // namespace vemlo
