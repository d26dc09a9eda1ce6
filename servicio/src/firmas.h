// Signed tokens: random, handed out once, stored as digests with a class, an object, a
// part number and an expiry. Share links, download links and upload addresses all use them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vemlo::servicio {

struct Firma {
  std::string clase;
  std::string objetoId;
  std::int64_t n = 0;
};

// A new token for (clase, objetoId, n), valid for `vidaMs`.
std::string firmar(const std::string& clase, const std::string& objetoId, std::int64_t n,
                   std::int64_t vidaMs);
// The token's signature when it is known and not expired.
std::optional<Firma> leerFirma(const std::string& token);

}  // namespace vemlo::servicio
