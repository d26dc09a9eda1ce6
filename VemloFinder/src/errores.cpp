// Service failures as file-provider errors.
#include "finder/errores.h"

#include "finder/proveedor.h"
#include "vemlo/error.h"

namespace vemlo::finder {
namespace {

fp::Error deApi(const ErrorVemlo& e) {
  const auto& codigo = e.codigo();
  if (e.estado() == 401 || codigo == "sesion") return fp::Error(fp::notAuthenticated);
  if (codigo == "noExiste") return fp::Error(fp::noSuchItem);
  if (codigo == "repetido") return fp::Error(fp::filenameCollision);
  if (codigo == "tope" || codigo == "sinTarjeta" || codigo == "pagoFallido")
    return fp::Error(fp::insufficientQuota);
  if (codigo == "permiso") return fp::Error(fp::fileWriteNoPermission);
  return fp::Error(fp::serverUnreachable);
}

fp::Error deServicio(const ErrorVemlo& e) {
  switch (e.caso()) {
    case ErrorVemlo::Caso::api:
      return deApi(e);
    case ErrorVemlo::Caso::cancelado:
      return fp::Error(fp::userCancelled);
    default:
      return fp::Error(fp::serverUnreachable);
  }
}

}  // namespace

std::exception_ptr errorDeSistema(std::exception_ptr fallo) {
  if (!fallo) return fallo;
  try {
    std::rethrow_exception(fallo);
  } catch (const ErrorVemlo& e) {
    // The service's error travels nested inside, for whoever shows a person why.
    try {
      std::throw_with_nested(deServicio(e));
    } catch (...) {
      return std::current_exception();
    }
  } catch (...) {
    return fallo;
  }
}

}  // namespace vemlo::finder
