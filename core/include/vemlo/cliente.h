// Vemlo: the service client. It builds requests against the base URL, sends them through
// its transport and decodes the answers into wire records, or fails with an ErrorVemlo.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "vemlo/base.h"
#include "vemlo/error.h"
#include "vemlo/registros.h"
#include "vemlo/transporte.h"

namespace vemlo {

// What an identifier names, where the service's paths tell files and folders apart.
enum class Clase { archivo, carpeta };

// The answer's body as JSON, or the failure it stands for: a status of 400 or more is `api`
// with the body's "error" code (else "desconocido", or "servidor" from 500); a body that is
// not JSON is `formato`; an empty body reads as "{}".
nlohmann::json cuerpoDe(const Respuesta& respuesta);

// The answer's body as text for a decoder: the same failures as cuerpoDe for a status of 400
// or more, "{}" for an empty body.
std::string_view textoDe(const Respuesta& respuesta);

// Decodes an answer into the record T (see cuerpoDe); a record is read straight from the text,
// without a JSON tree. A record that does not decode is `formato` with the field and reason.
template <class T>
T decodificar(const Respuesta& respuesta) {
  try {
    if constexpr (Registro<T>) {
      return leerJson<T>(textoDe(respuesta));
    } else {
      return desdeJson<T>(cuerpoDe(respuesta));
    }
  } catch (const ErrorDecodificacion& e) {
    throw ErrorVemlo::formato(e.what());
  }
}

// Immutable once made; shared by reference and replaced, not changed, when the token changes.
class Vemlo {
 public:
  Vemlo(std::string base, std::optional<std::string> token, std::shared_ptr<Transporte> transporte);
  // A client of baseInicial() over the process's shared transport.
  explicit Vemlo(std::optional<std::string> token = std::nullopt);

  const std::string& base() const { return base_; }
  const std::optional<std::string>& token() const { return token_; }
  Transporte& transporte() const { return *transporte_; }

  // The request for `ruta` ("/v1/...", already escaped, possibly with a query) resolved
  // against the base, with the client's headers. A path that does not resolve is `formato`.
  Pedido armarPedido(std::string_view metodo, std::string_view ruta) const;

  // Sends a JSON request and decodes its answer. GET carries no body; every other method
  // carries `cuerpo`, or "{}" without one.
  template <class T>
  T llamar(std::string_view metodo, std::string_view ruta,
           const std::optional<nlohmann::json>& cuerpo = std::nullopt,
           std::stop_token parar = {}) const {
    return decodificar<T>(enviarJson(metodo, ruta, cuerpo, std::move(parar)));
  }

  // Account and session. `entrar` and `confirmarCodigo` are for a client without token; the
  // token to keep is the one in the Cuenta they give.
  RespuestaEntrar entrar(std::string_view correo, std::string_view clave,
                         std::stop_token parar = {}) const;
  Cuenta confirmarCodigo(std::string_view desafio, std::string_view codigo,
                         std::stop_token parar = {}) const;
  Cuenta yo(std::stop_token parar = {}) const;
  void cerrarSesion(std::stop_token parar = {}) const;

  // Folders and files. `clase` picks "carpetas" or "archivos" in the path; `tipo` is the wire
  // word, "carpeta" or "archivo". Identifiers go into paths as the service issued them.
  VistaCarpeta verCarpeta(std::string_view id, std::stop_token parar = {}) const;
  std::string crearCarpeta(std::string_view padreId, std::string_view nombre,
                           std::stop_token parar = {}) const;
  void renombrar(Clase clase, std::string_view id, std::string_view nombre,
                 std::stop_token parar = {}) const;
  void mover(Clase clase, std::string_view id, std::string_view destinoId,
             std::stop_token parar = {}) const;
  void aPapelera(Clase clase, std::string_view id, std::stop_token parar = {}) const;
  std::vector<EnPapelera> listarPapelera(std::string_view organizacionId,
                                         std::stop_token parar = {}) const;
  void restaurar(std::string_view organizacionId, std::string_view tipo, std::string_view id,
                 std::stop_token parar = {}) const;
  std::vector<ResultadoBusqueda> buscar(std::string_view organizacionId, std::string_view texto,
                                        std::stop_token parar = {}) const;
  std::vector<ArchivoRemoto> recientes(std::string_view organizacionId, bool medios,
                                       std::stop_token parar = {}) const;
  std::vector<Favorito> listarFavoritos(std::string_view organizacionId,
                                        std::stop_token parar = {}) const;
  void marcarFavorito(std::string_view tipo, std::string_view id, std::stop_token parar = {}) const;
  void quitarFavorito(std::string_view tipo, std::string_view id, std::stop_token parar = {}) const;
  // A share link valid for `dias` days.
  std::string compartir(std::string_view tipo, std::string_view id, int dias,
                        std::stop_token parar = {}) const;
  // An absolute address from which the file's bytes can be fetched without the session.
  std::string enlaceDescarga(std::string_view archivoId, std::stop_token parar = {}) const;
  // Streams the file's bytes into a temporary file beside `destino` and renames it into place
  // only when complete (an interrupted or failed download leaves nothing under `destino`).
  // `alRecibir` gets the bytes received so far. A file system failure is a
  // std::filesystem::filesystem_error.
  void descargar(std::string_view archivoId, const std::filesystem::path& destino,
                 const std::function<void(std::int64_t recibidos)>& alRecibir = {},
                 std::stop_token parar = {}) const;
  // The same from a download link (`url`, absolute, fetched without the client's headers).
  // A status from 300 is `api` with that status and the body's code.
  void descargarDesde(const std::string& url, const std::filesystem::path& destino,
                      const std::function<void(std::int64_t recibidos)>& alRecibir = {},
                      std::stop_token parar = {}) const;
  // The same, but the bytes go straight into `destino`, where others may read them while they
  // arrive: `alRecibir` hears the bytes in it so far after each piece, and the file is synced
  // once whole. A download `destino` already holds bytes of continues after them with a ranged
  // request when the link serves ranges (asked first for one byte), else writes the same bytes
  // over them from the start. A failure leaves what arrived in `destino`.
  void descargarEn(const std::string& url, const std::filesystem::path& destino,
                   const std::function<void(std::int64_t recibidos)>& alRecibir,
                   std::stop_token parar = {}) const;
  // The `largo` bytes at `desde` of a download link (fewer at its end), in memory; a link that
  // does not serve that range fails with `formato`.
  std::string descargarTramo(const std::string& url, std::int64_t desde, std::int64_t largo,
                             std::stop_token parar = {}) const;
  // The service's thumbnail bytes; any status from 300 is `api` "noExiste".
  std::string traerMiniatura(std::string_view archivoId, std::stop_token parar = {}) const;

  // Raw upload steps. `subirDirecto` PUTs to a signed address with none of the client's
  // headers; any status from 300 is `api` "noLlego"; it gives the answer's ETag, if any.
  std::optional<std::string> subirDirecto(std::string_view url, std::string_view datos,
                                          const std::optional<std::string>& tipo,
                                          std::stop_token parar = {}) const;
  std::string subirParte(std::string_view subidaId, std::int64_t n, std::string_view datos,
                         std::stop_token parar = {}) const;
  struct ParteSubida {
    std::int64_t n = 0;
    std::string etag;
  };
  void confirmarSubida(std::string_view subidaId, const std::vector<ParteSubida>& partes,
                       std::stop_token parar = {}) const;

 private:
  Respuesta enviarJson(std::string_view metodo, std::string_view ruta,
                       const std::optional<nlohmann::json>& cuerpo, std::stop_token parar) const;

  std::string base_;
  std::optional<std::string> token_;
  std::shared_ptr<Transporte> transporte_;
};

}  // namespace vemlo
