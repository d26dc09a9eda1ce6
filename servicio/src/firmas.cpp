// Signed tokens in the `firmas` table, keyed by the SHA-256 of the token.
#include "firmas.h"

#include "base.h"
#include "cripto.h"
#include "textos.h"

namespace vemlo::servicio {

std::string firmar(const std::string& clase, const std::string& objetoId, std::int64_t n,
                   std::int64_t vidaMs) {
  const std::string token = nuevoToken();
  Sentencia("INSERT INTO firmas(huella, clase, objetoId, n, venceMs) VALUES(?,?,?,?,?)",
            huella(token), clase, objetoId, n, ahoraMs() + vidaMs)
      .ejecutar();
  return token;
}

std::optional<Firma> leerFirma(const std::string& token) {
  Sentencia fila("SELECT clase, objetoId, n FROM firmas WHERE huella=? AND venceMs>?",
                 huella(token), ahoraMs());
  if (!fila.fila()) return std::nullopt;
  return Firma{fila.texto(0), fila.texto(1), fila.entero(2)};
}

}  // namespace vemlo::servicio
