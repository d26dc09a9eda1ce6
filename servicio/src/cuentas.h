// Accounts and sessions: creation (for the demo), sign-in with optional two-step codes,
// the rate limit on failed sign-ins, and the account answer.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace vemlo::servicio {

struct CuentaNueva {
  std::string correo;
  std::string nombre;
  std::string clave;
  std::optional<std::string> totp;     // the secret, base32
  std::vector<std::string> respaldos;  // one-time backup codes
};

// Stores the account (password hashed) and answers its id. Call inside a transaction.
std::string crearCuenta(const CuentaNueva& nueva);

// Ten lower-case letters and digits, for a backup code.
std::string codigoRespaldo();

}  // namespace vemlo::servicio
