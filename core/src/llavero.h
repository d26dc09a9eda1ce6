// The keychain item of the session token in the Secret Service, through libsecret: schema
// "app.vemlo.compartido", attributes service "app.vemlo.Vemlo.sesion" and account "token",
// the token's bytes as the secret. Each call reports whether the service did it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vemlo::llavero {

bool agregar(std::string_view bytes);
// The stored bytes; nothing when there is no item or the service cannot be asked.
std::optional<std::string> consultar();
void eliminar();

}  // namespace vemlo::llavero
