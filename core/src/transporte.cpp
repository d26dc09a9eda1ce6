// Requests and answers as plain values, and the one classification of transfer failures.
#include "vemlo/transporte.h"

#include <algorithm>
#include <cerrno>

#include <curl/curl.h>

#include "error_curl.h"

namespace vemlo {
namespace {

bool mismoNombre(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::optional<std::string> buscar(const Cabeceras& cabeceras, std::string_view nombre) {
  const auto pos = std::ranges::find_if(
      cabeceras, [&](const auto& cabecera) { return mismoNombre(cabecera.first, nombre); });
  if (pos == cabeceras.end()) return std::nullopt;
  return pos->second;
}

// Transfers that lost their connection midway, or found no network at all: offline.
bool esDesconexion(const ErrorCurl& e) {
  switch (e.codigo()) {
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
      return true;
    default:
      return e.errnoSistema() == ENETUNREACH;
  }
}

}  // namespace

void Pedido::poner(std::string_view nombre, std::string valor) {
  std::erase_if(cabeceras,
                [&](const auto& cabecera) { return mismoNombre(cabecera.first, nombre); });
  cabeceras.emplace_back(std::string(nombre), std::move(valor));
}

std::optional<std::string> Pedido::cabecera(std::string_view nombre) const {
  return buscar(cabeceras, nombre);
}

std::optional<std::string> Respuesta::cabecera(std::string_view nombre) const {
  return buscar(cabeceras, nombre);
}

bool ErrorCurl::esCancelacion() const {
  return codigo_ == CURLE_ABORTED_BY_CALLBACK;
}

ErrorVemlo errorDeTransporte(std::exception_ptr fallo, bool conRed) {
  if (!fallo) return conRed ? ErrorVemlo::servidor({}) : ErrorVemlo::red({});
  try {
    std::rethrow_exception(fallo);
  } catch (const ErrorVemlo& e) {
    return e;
  } catch (const ErrorCurl& e) {
    if (e.esCancelacion()) return ErrorVemlo::cancelado();
    if (esDesconexion(e)) return ErrorVemlo::red(e.what());
    return conRed ? ErrorVemlo::servidor(e.what()) : ErrorVemlo::red(e.what());
  } catch (const std::exception& e) {
    return conRed ? ErrorVemlo::servidor(e.what()) : ErrorVemlo::red(e.what());
  } catch (...) {
    return conRed ? ErrorVemlo::servidor({}) : ErrorVemlo::red({});
  }
}

}  // namespace vemlo
