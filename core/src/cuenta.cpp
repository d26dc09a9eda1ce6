// Signing in (with its optional two-step code), checking the account, and signing out.
#include "vemlo/cliente.h"

namespace vemlo {

RespuestaEntrar Vemlo::entrar(std::string_view correo, std::string_view clave,
                              std::stop_token parar) const {
  const nlohmann::json cuerpo{{"correo", correo}, {"clave", clave}};
  return llamar<RespuestaEntrar>("POST", "/v1/sesiones", cuerpo, std::move(parar));
}

Cuenta Vemlo::confirmarCodigo(std::string_view desafio, std::string_view codigo,
                              std::stop_token parar) const {
  const nlohmann::json cuerpo{{"desafio", desafio}, {"codigo", codigo}};
  return llamar<Cuenta>("POST", "/v1/sesiones/mfa", cuerpo, std::move(parar));
}

Cuenta Vemlo::yo(std::stop_token parar) const {
  return llamar<Cuenta>("GET", "/v1/yo", std::nullopt, std::move(parar));
}

void Vemlo::cerrarSesion(std::stop_token parar) const {
  llamar<Ok>("DELETE", "/v1/sesiones", std::nullopt, std::move(parar));
}

}  // namespace vemlo
