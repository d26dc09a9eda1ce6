// Failures as codes of the message table.
#include "motivos.h"

#include <cerrno>
#include <system_error>

#include "finder/proveedor.h"

namespace vemlo::finder::host {
namespace {

// The extension's own errors that carry no service error.
std::string codigoDeProveedor(const fp::Error& e) {
  if (e == fp::Error(fp::notAuthenticated)) return "sinSesion";
  if (e == fp::Error(fp::noSuchItem)) return "noExiste";
  if (e == fp::Error(fp::filenameCollision)) return "repetido";
  if (e == fp::Error(fp::fileWriteNoPermission)) return "permiso";
  if (e == fp::Error(fp::serverUnreachable)) return "servidor";
  return "fallo";
}

bool discoLleno(const std::system_error& e) {
  const auto condicion = e.code().default_error_condition();
  return condicion.category() == std::generic_category() &&
         (condicion.value() == ENOSPC || condicion.value() == EDQUOT);
}

// The code the failure carries, which an api failure may leave empty.
std::string codigoCrudo(std::exception_ptr fallo) {
  try {
    std::rethrow_exception(fallo);
  } catch (const Motivo& e) {
    return e.codigo();
  } catch (const ErrorVemlo& e) {
    return e.codigo();
  } catch (const fp::Error& e) {
    if (const auto causa = causaDelServicio(e)) return causa->codigo();
    return codigoDeProveedor(e);
  } catch (const std::system_error& e) {
    return discoLleno(e) ? "disco" : "fallo";
  } catch (...) {
    return "fallo";
  }
}

}  // namespace

std::optional<ErrorVemlo> causaDelServicio(const std::exception& e) {
  try {
    std::rethrow_if_nested(e);
  } catch (const ErrorVemlo& causa) {
    return causa;
  } catch (...) {
  }
  return std::nullopt;
}

std::string codigoDe(std::exception_ptr fallo) {
  auto codigo = codigoCrudo(std::move(fallo));
  return codigo.empty() ? "fallo" : codigo;
}

}  // namespace vemlo::finder::host
