// Two-step sign-in codes: base32 secrets and time-based one-time codes (HMAC-SHA-1,
// 30-second steps, 6 digits).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vemlo::servicio {

// RFC 4648 base32, upper case, without padding.
std::string base32(std::string_view bytes);
// Upper or lower case, blanks and padding ignored; nothing for any other character.
std::optional<std::string> desdeBase32(std::string_view texto);

// The code of the 30-second step that holds `segundos` (Unix time), `digitos` digits long.
std::string codigoTotp(std::string_view secreto, std::int64_t segundos, int digitos = 6);

// Whether `codigo` is the code of the current step or of one step before or after.
bool totpValido(std::string_view secreto, std::string_view codigo, std::int64_t segundos);

}  // namespace vemlo::servicio
