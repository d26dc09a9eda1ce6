// Plain HTTP calls to a running vemlo-servicio with the cpp-httplib client, independent of
// the Vemlo client: JSON requests with or without a session token, raw byte transfers to
// signed addresses, sign-in, a whole upload, a download, and the /_pruebas/ endpoints.
// Helpers that need a success throw std::runtime_error with the request and the answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "vemlo/registros.h"

namespace vemlo::pruebas {

class ServicioEnMarcha;

// An answer as it came; `estado` 0 when none came (connection closed, time-out).
struct Contestacion {
  int estado = 0;
  std::string cuerpo;
  httplib::Headers cabeceras;

  // The body as JSON (a discarded value when it does not parse).
  nlohmann::json json() const;
  // The body's "error" code, or "" when there is none.
  std::string error() const;
  std::optional<std::string> cabecera(const std::string& nombre) const;
  // "404 {"error":"noExiste"}", for failure messages.
  std::string resumen() const;
};

class ClienteHttp {
 public:
  explicit ClienteHttp(std::string base, std::string token = {});

  const std::string& base() const { return base_; }
  const std::string& token() const { return token_; }
  ClienteHttp conToken(std::string token) const { return ClienteHttp(base_, std::move(token)); }

  // One request to `ruta` (a path with its query, sent exactly as given), with the bearer
  // token when there is one and "Content-Type" `tipo` when there is a body.
  Contestacion enviar(const std::string& metodo, const std::string& ruta,
                      const std::optional<std::string>& cuerpo = std::nullopt,
                      const std::string& tipo = "application/json",
                      const httplib::Headers& extra = {}) const;

  Contestacion get(const std::string& ruta, const httplib::Headers& extra = {}) const;
  Contestacion post(const std::string& ruta,
                    const nlohmann::json& cuerpo = nlohmann::json::object()) const;
  Contestacion put(const std::string& ruta, const nlohmann::json& cuerpo) const;
  Contestacion patch(const std::string& ruta, const nlohmann::json& cuerpo) const;
  Contestacion del(const std::string& ruta,
                   const nlohmann::json& cuerpo = nlohmann::json::object()) const;

  // GET that must answer 200 with a JSON body decoding as T.
  template <class T>
  T leer(const std::string& ruta) const {
    return desdeJson<T>(exigir(get(ruta), "GET " + ruta).json());
  }
  VistaCarpeta carpeta(const std::string& id) const {
    return leer<VistaCarpeta>("/v1/carpetas/" + id);
  }

  // Throws unless the answer is 2xx; gives it back.
  static const Contestacion& exigir(const Contestacion& c, const std::string& pedido);

 private:
  std::string base_;
  std::string token_;
};

// A request to an absolute signed address (no session headers at all).
Contestacion enviarA(const std::string& url, const std::string& metodo,
                     const std::optional<std::string>& cuerpo = std::nullopt,
                     const httplib::Headers& extra = {});
// The path and query of an absolute URL on this service, or the text itself if it is a path.
std::string rutaDe(const std::string& url);

// Percent-encodes every byte except ASCII letters and digits.
std::string codificar(const std::string& texto);
// Reproducible pseudo-random bytes.
std::string bytesDePrueba(std::size_t tamano, std::uint32_t semilla);

// Sign-in: the account with its token; plain accounts only (throws on a challenge).
Cuenta entrar(const std::string& base, const std::string& correo,
              const std::string& clave = "vemlo-demo");
// Sign-in of the MFA account with its current TOTP code.
Cuenta entrarConMfa(const ServicioEnMarcha& servicio);

// A whole upload through the API: ask, send (one PUT or every part, direct or through the
// service), confirm. Gives the archivoId.
std::string subir(const ClienteHttp& cliente, const std::string& carpetaId,
                  const std::string& nombre, const std::string& bytes,
                  const std::string& tipo = "application/octet-stream");
// Sends every part of a multipart upload as its plan says (to signed addresses or through
// the service); gives the confirmation's list [{"n", "etag"}].
nlohmann::json mandarPartes(const ClienteHttp& cliente, const PedidoSubida& subida,
                            const std::string& bytes);
// The bytes of a file through a download link.
std::string descargar(const ClienteHttp& cliente, const std::string& archivoId);

// The items of a view by name.
std::string idCarpeta(const VistaCarpeta& vista, const std::string& nombre);
std::string idArchivo(const VistaCarpeta& vista, const std::string& nombre);
const ArchivoRemoto& archivo(const VistaCarpeta& vista, const std::string& nombre);

// The /_pruebas/ endpoints (the service must run with --pruebas).
void ponerFallos(const std::string& base, const nlohmann::json& reglas);
void quitarFallos(const std::string& base);
nlohmann::json registro(const std::string& base);
// How many requests of the register match `metodo` and start with `ruta`.
std::size_t pedidos(const std::string& base, const std::string& metodo, const std::string& ruta);
void borrarRegistro(const std::string& base);
void ajustarEmpresa(const std::string& base, const nlohmann::json& cambios);

}  // namespace vemlo::pruebas
