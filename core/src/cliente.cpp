// The service client: requests built against the base URL, sent through the transport, and
// answers turned into records or classified failures.
#include "vemlo/cliente.h"

#include <memory>

#include "url.h"
#include "vemlo/transporte_curl.h"

namespace vemlo {
namespace {

// The service's code from a failure body: its "error" key when that is a JSON string.
std::string codigoDeError(const Respuesta& respuesta) {
  const auto json = nlohmann::json::parse(respuesta.cuerpo, nullptr, false);
  std::string codigo = respuesta.estado >= 500 ? "servidor" : "desconocido";
  if (!json.is_object()) return codigo;
  const auto error = json.find("error");
  if (error != json.end() && error->is_string()) codigo = error->get<std::string>();
  return codigo;
}

std::string serializar(const std::optional<nlohmann::json>& cuerpo) {
  try {
    return cuerpo ? cuerpo->dump() : std::string("{}");
  } catch (const nlohmann::json::exception&) {
    throw ErrorVemlo::formato("el cuerpo tiene texto que no es UTF-8");
  }
}

}  // namespace

std::string_view textoDe(const Respuesta& respuesta) {
  if (respuesta.estado >= 400) throw ErrorVemlo::api(respuesta.estado, codigoDeError(respuesta));
  return respuesta.cuerpo.empty() ? std::string_view("{}") : std::string_view(respuesta.cuerpo);
}

nlohmann::json cuerpoDe(const Respuesta& respuesta) {
  const auto texto = textoDe(respuesta);
  try {
    return nlohmann::json::parse(texto);
  } catch (const nlohmann::json::parse_error& e) {
    // The position only: the lexer's excerpt could quote a token from the body.
    throw ErrorVemlo::formato("la respuesta no es JSON válido (byte " + std::to_string(e.byte) +
                              ")");
  }
}

Vemlo::Vemlo(std::string base, std::optional<std::string> token,
             std::shared_ptr<Transporte> transporte)
    : base_(std::move(base)), token_(std::move(token)), transporte_(std::move(transporte)) {}

Vemlo::Vemlo(std::optional<std::string> token)
    : Vemlo(baseInicial(), std::move(token), TransporteCurl::compartido()) {}

Pedido Vemlo::armarPedido(std::string_view metodo, std::string_view ruta) const {
  auto url = resolverUrl(base_, ruta);
  if (!url) throw ErrorVemlo::formato("ruta no válida");
  Pedido pedido{std::string(metodo), std::move(*url), {}, std::chrono::seconds(60)};
  if (token_) pedido.poner("Authorization", "Bearer " + *token_);
  pedido.poner("X-Vemlo-App", "mac");
  return pedido;
}

Respuesta Vemlo::enviarJson(std::string_view metodo, std::string_view ruta,
                            const std::optional<nlohmann::json>& cuerpo,
                            std::stop_token parar) const {
  auto pedido = armarPedido(metodo, ruta);
  if (metodo == "GET") return transporte_->enviar(pedido, std::nullopt, std::move(parar));
  pedido.poner("Content-Type", "application/json");
  const std::string bytes = serializar(cuerpo);
  return transporte_->enviar(pedido, bytes, std::move(parar));
}

}  // namespace vemlo
