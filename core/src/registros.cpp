// The one record with a decoding rule of its own: the sign-in answer, whose `mfa` flag alone
// decides between a challenge and a complete account.
#include "vemlo/registros.h"

namespace vemlo {

template <>
RespuestaEntrar desdeJson<RespuestaEntrar>(const nlohmann::json& j) {
  if (!j.is_object()) throw ErrorDecodificacion("se esperaba un objeto");
  const auto mfa = j.find("mfa");
  const bool conCodigo = mfa != j.end() && mfa->is_boolean() && mfa->get<bool>();
  if (!conCodigo) return {RespuestaEntrar::Lista{desdeJson<Cuenta>(j)}};
  const auto desafio = j.find("desafio");
  if (desafio == j.end()) throw ErrorDecodificacion("falta la clave", "desafio");
  if (!desafio->is_string()) throw ErrorDecodificacion("se esperaba texto", "desafio");
  return {RespuestaEntrar::Codigo{desafio->get<std::string>()}};
}

}  // namespace vemlo
