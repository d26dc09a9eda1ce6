// ErrorVemlo's cases, its user message and diagnostic line, and the cancellation test.
#include "vemlo/error.h"

#include "error_curl.h"
#include "vemlo/mensajes.h"
#include "vemlo/transporte.h"

namespace vemlo {
namespace {

std::string diagnostico(ErrorVemlo::Caso caso, int estado, const std::string& codigo,
                        const std::string& detalle) {
  std::string texto = caso == ErrorVemlo::Caso::api ? "api " + std::to_string(estado) + " " : "";
  texto.append(codigo);
  if (!detalle.empty()) texto.append(": ").append(detalle);
  return texto;
}

}  // namespace

ErrorVemlo::ErrorVemlo(Caso caso, int estado, std::string codigo, std::string detalle)
    : caso_(caso),
      estado_(estado),
      codigo_(std::move(codigo)),
      detalle_(std::move(detalle)),
      diagnostico_(diagnostico(caso_, estado_, codigo_, detalle_)) {}

ErrorVemlo ErrorVemlo::api(int estado, std::string codigo) {
  return {Caso::api, estado, std::move(codigo), {}};
}
ErrorVemlo ErrorVemlo::red(std::string detalle) {
  return {Caso::red, 0, "red", std::move(detalle)};
}
ErrorVemlo ErrorVemlo::servidor(std::string detalle) {
  return {Caso::servidor, 0, "servidor", std::move(detalle)};
}
ErrorVemlo ErrorVemlo::formato(std::string detalle) {
  return {Caso::formato, 0, "formato", std::move(detalle)};
}
ErrorVemlo ErrorVemlo::cancelado() {
  return {Caso::cancelado, 0, "cancelado", {}};
}

std::string ErrorVemlo::descripcion() const {
  return mensaje(codigo_, enEspanol());
}

bool reintentable(const ErrorVemlo& error) {
  switch (error.caso()) {
    case ErrorVemlo::Caso::red:
    case ErrorVemlo::Caso::servidor:
      return true;
    case ErrorVemlo::Caso::api:
      return error.estado() >= 500 || error.estado() == 408 || error.estado() == 429 ||
             error.codigo() == "noLlego";
    default:
      return false;
  }
}

bool esCancelacion(std::exception_ptr fallo) {
  if (!fallo) return false;
  try {
    std::rethrow_exception(fallo);
  } catch (const ErrorVemlo& e) {
    return e.caso() == ErrorVemlo::Caso::cancelado;
  } catch (const ErrorCurl& e) {
    return e.esCancelacion();
  } catch (...) {
    return false;
  }
}

}  // namespace vemlo
