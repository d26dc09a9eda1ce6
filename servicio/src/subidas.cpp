// Uploads. POST /v1/subidas reserves the file (a new file stays invisible until its first
// confirmation) and a version; bytes arrive through a signed PUT, streamed to a blob of its
// own, or through signed direct parts or parts through the service, each written in place into
// the version's one assembly file; the confirmation checks what arrived, renames the assembly
// into place, makes the thumbnail and swaps the file's bytes in one transaction.
#include "subidas.h"

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "almacen.h"
#include "arbol.h"
#include "base.h"
#include "cripto.h"
#include "firmas.h"
#include "miniaturas.h"
#include "rutas.h"
#include "textos.h"

namespace vemlo::servicio {
namespace {

constexpr std::int64_t vidaFirmaSubida = 60 * 60 * 1000;
constexpr std::int64_t vidaSubida = 24 * 60 * 60 * 1000;
constexpr std::int64_t holgura = 1 << 20;  // extra bytes accepted, for "noLlego" to judge

struct Version {
  std::string id, archivoId, usuarioId, tipo;
  std::int64_t tamano = 0, tamanoParte = 0, total = 0;
  std::optional<std::string> blobId;
  std::int64_t recibidos = 0;
};

std::optional<Version> leerVersion(const std::string& id) {
  Sentencia fila(
      "SELECT id, archivoId, usuarioId, tipo, tamano, tamanoParte, total, blobId, recibidos "
      "FROM versiones WHERE id=?",
      id);
  if (!fila.fila()) return std::nullopt;
  return Version{fila.texto(0),  fila.texto(1),  fila.texto(2),     fila.texto(3), fila.entero(4),
                 fila.entero(5), fila.entero(6), fila.textoNulo(7), fila.entero(8)};
}

// The user's own upload, still open; "noExiste" otherwise.
Version versionPropia(const std::string& usuario, const std::string& id) {
  auto version = leerVersion(id);
  if (!version || version->usuarioId != usuario) noExiste();
  return std::move(*version);
}

// The parts being received, one writer per part: a part sent again while its first attempt
// still streams waits for it, so that the bytes in place are always those of the attempt whose
// etag is recorded.
class PartesEnCurso {
 public:
  class Turno {
   public:
    Turno(PartesEnCurso& dueno, std::pair<std::string, std::int64_t> parte)
        : dueno_(dueno), parte_(std::move(parte)) {
      std::unique_lock bloqueo(dueno_.candado_);
      dueno_.libre_.wait(bloqueo, [&] { return !dueno_.ocupadas_.contains(parte_); });
      dueno_.ocupadas_.insert(parte_);
    }
    ~Turno() {
      {
        const std::lock_guard bloqueo(dueno_.candado_);
        dueno_.ocupadas_.erase(parte_);
      }
      dueno_.libre_.notify_all();
    }
    Turno(const Turno&) = delete;
    Turno& operator=(const Turno&) = delete;

   private:
    PartesEnCurso& dueno_;
    std::pair<std::string, std::int64_t> parte_;
  };

 private:
  std::mutex candado_;
  std::condition_variable libre_;
  std::set<std::pair<std::string, std::int64_t>> ocupadas_;
};

PartesEnCurso partesEnCurso;

// The bytes part `n` covers: all parts have tamanoParte bytes but the last, which has the rest.
std::int64_t huecoDe(const Version& version, std::int64_t n) {
  return n < version.total ? version.tamanoParte
                           : version.tamano - (version.total - 1) * version.tamanoParte;
}

bool directoSiguiente() {
  static std::atomic<unsigned> contador{0};
  switch (entorno().opciones.directo) {
    case Directo::si:
      return true;
    case Directo::no:
      return false;
    case Directo::alterno:
      return contador++ % 2 == 0;
  }
  return false;
}

void exigirPlan(const Empresa& empresa, std::int64_t reemplazado, std::int64_t tamano) {
  if (empresa.tope) fallar(402, "tope");
  if (empresa.sinTarjeta) fallar(402, "sinTarjeta");
  if (empresa.pagoFallido) fallar(402, "pagoFallido");
  if (usoDe(empresa.id) - reemplazado + tamano > empresa.cuota) fallar(402, "planLleno");
}

// The file the upload goes to: the live one of that name, a pending one, or a new pending row.
std::string archivoDestino(const Carpeta& carpeta, const std::string& nombre,
                           const std::string& tipo, std::int64_t& reemplazado) {
  Sentencia existente(
      "SELECT id, tamano, visible FROM archivos WHERE carpetaId=? AND nombre=? AND borradoMs IS "
      "NULL ORDER BY visible DESC LIMIT 1",
      carpeta.id, nombre);
  if (existente.fila()) {
    reemplazado = existente.entero(2) ? existente.entero(1) : 0;
    return existente.texto(0);
  }
  const std::string id = nuevoId();
  Sentencia(
      "INSERT INTO archivos(id, organizacionId, carpetaId, nombre, pliegue, tipo, actualizadoMs) "
      "VALUES(?,?,?,?,?,?,?)",
      id, carpeta.organizacionId, carpeta.id, nombre, plegar(nombre), tipo, ahoraMs())
      .ejecutar();
  return id;
}

// Replaces the file's bytes and marks it visible; answers the blobs that are no longer used.
std::vector<std::string> hacerActual(const std::string& archivoId, std::int64_t tamano,
                                     const std::string& tipo, std::optional<std::string> blobId,
                                     std::optional<std::string> miniaturaId) {
  const auto anterior = leerArchivo(archivoId);
  std::vector<std::string> sueltos;
  if (anterior && anterior->blobId) sueltos.push_back(*anterior->blobId);
  if (anterior && anterior->miniaturaId) sueltos.push_back(*anterior->miniaturaId);
  if (anterior)
    sumarUso(anterior->organizacionId, tamano - (anterior->visible ? anterior->tamano : 0));
  Sentencia(
      "UPDATE archivos SET tamano=?, tipo=?, blobId=?, miniaturaId=?, actualizadoMs=?, visible=1 "
      "WHERE id=?",
      tamano, tipo, blobId, miniaturaId, ahoraMs(), archivoId)
      .ejecutar();
  return sueltos;
}

void iniciar(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const auto cuerpo = cuerpoJson(req);
  const std::string carpetaId = texto(cuerpo, "carpetaId");
  const std::string nombre = texto(cuerpo, "nombre");
  const std::int64_t tamano = entero(cuerpo, "tamanoBytes");
  const std::string tipo = texto(cuerpo, "tipo");
  Transaccion transaccion;
  std::string rol;
  const auto carpeta = carpetaVisible(usuario, carpetaId, rol);
  exigirEscritura(rol);
  if (!nombreValido(nombre) || tamano < 0) datosMal();
  Sentencia carpetaIgual(
      "SELECT 1 FROM carpetas WHERE padreId=? AND nombre=? AND borradaMs IS NULL", carpeta.id,
      nombre);
  if (carpetaIgual.fila()) fallar(409, "repetido");
  std::int64_t reemplazado = 0;
  const std::string archivoId = archivoDestino(carpeta, nombre, tipo, reemplazado);
  exigirPlan(*leerEmpresa(carpeta.organizacionId), reemplazado, tamano);
  PedidoSubida pedido{archivoId, std::nullopt, std::nullopt, std::nullopt};
  std::vector<std::string> sueltos;
  if (tamano == 0) {
    sueltos = hacerActual(archivoId, 0, tipo, std::nullopt, std::nullopt);
  } else {
    const auto& opciones = entorno().opciones;
    const bool unica = tamano <= opciones.umbral;
    const std::int64_t total = unica ? 1 : (tamano + opciones.parte - 1) / opciones.parte;
    const bool directo = !unica && directoSiguiente();
    pedido.versionId = nuevoId();
    // Parts are assembled in the blob named here; a single PUT brings a blob of its own.
    const std::optional<std::string> ensamblado =
        unica ? std::nullopt : std::optional<std::string>(nuevoId());
    Sentencia(
        "INSERT INTO versiones(id, archivoId, usuarioId, tamano, tipo, creadaMs, tamanoParte, "
        "total, directo, blobId) VALUES(?,?,?,?,?,?,?,?,?,?)",
        *pedido.versionId, archivoId, usuario, tamano, tipo, ahoraMs(), unica ? 0 : opciones.parte,
        total, directo, ensamblado)
        .ejecutar();
    if (unica)
      pedido.url = entorno().base + "/almacen/subir/" +
                   firmar("subir", *pedido.versionId, 0, vidaFirmaSubida);
    else
      pedido.partes = Partes{opciones.parte, total, directo};
  }
  transaccion.confirmar();
  for (const auto& blob : sueltos) borrarBlob(blob);
  responderJson(res, aJson(pedido));
}

// Stores the single body of an open upload as its blob; answers its etag.
std::string recibirUnico(const Version& version, const httplib::ContentReader& lector) {
  const auto recibido = recibirBlob(lector, version.tamano + holgura);
  std::optional<std::string> anterior;
  {
    Transaccion transaccion;
    const auto ahora = leerVersion(version.id);
    if (!ahora) {
      borrarBlob(recibido.blobId);
      noExiste();
    }
    anterior = ahora->blobId;
    Sentencia("UPDATE versiones SET blobId=?, etag=?, recibidos=? WHERE id=?", recibido.blobId,
              recibido.etag, recibido.tamano, version.id)
        .ejecutar();
    transaccion.confirmar();
  }
  if (anterior) borrarBlob(*anterior);
  return recibido.etag;
}

// Writes part `n` in place. Its earlier record goes first, so that an attempt cut half-way
// leaves the part missing rather than recorded with bytes that are no longer there.
std::string recibirEnsamblada(const Version& version, std::int64_t n,
                              const httplib::ContentReader& lector) {
  if (!version.blobId) noExiste();  // an upload begun before parts were assembled in place
  const PartesEnCurso::Turno turno(partesEnCurso, {version.id, n});
  {
    Transaccion transaccion;
    if (!leerVersion(version.id)) noExiste();
    Sentencia("DELETE FROM partes WHERE versionId=? AND n=?", version.id, n).ejecutar();
    transaccion.confirmar();
  }
  const auto recibido = recibirParteEn(*version.blobId, (n - 1) * version.tamanoParte,
                                       huecoDe(version, n), lector, version.tamanoParte + holgura);
  Transaccion transaccion;
  if (!leerVersion(version.id)) noExiste();
  Sentencia("INSERT OR REPLACE INTO partes(versionId, n, blobId, tamano, etag) VALUES(?,?,?,?,?)",
            version.id, n, recibido.blobId, recibido.tamano, recibido.etag)
      .ejecutar();
  transaccion.confirmar();
  return recibido.etag;
}

// Stores one part (or the single body, n = 0) of an open upload; answers its etag.
std::string recibirParte(const Version& version, std::int64_t n,
                         const httplib::ContentReader& lector) {
  if (n < 0 || n > version.total || (n == 0) != (version.tamanoParte == 0)) datosMal();
  return n == 0 ? recibirUnico(version, lector) : recibirEnsamblada(version, n, lector);
}

void subirFirmado(const httplib::Request& req, httplib::Response& res,
                  const httplib::ContentReader& lector) {
  const auto firma = leerFirma(req.matches[1]);
  if (!firma || firma->clase != (firma->n == 0 ? "subir" : "parte")) sinPermiso();
  const auto version = leerVersion(firma->objetoId);
  if (!version) sinPermiso();
  res.set_header("ETag", recibirParte(*version, firma->n, lector));
  res.status = 200;
}

void subirParteServicio(const httplib::Request& req, httplib::Response& res,
                        const httplib::ContentReader& lector) {
  const std::string usuario = usuarioDeSesion(req);
  const auto version = versionPropia(usuario, req.matches[1]);
  const auto n = std::stoll(req.matches[2]);
  if (n < 1) datosMal();
  responderJson(res, {{"etag", recibirParte(version, n, lector)}});
}

void firmarParte(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const auto version = versionPropia(usuario, req.matches[1]);
  const auto n = std::stoll(req.matches[2]);
  if (version.tamanoParte == 0 || n < 1 || n > version.total) datosMal();
  responderJson(res, {{"url", entorno().base + "/almacen/partes/" +
                                  firmar("parte", version.id, n, vidaFirmaSubida)}});
}

// Passes when the list names every part once, with the etags that arrived, each part with
// exactly the bytes of its place; "noLlego" otherwise.
void comprobarPartes(const Version& version, const nlohmann::json& lista) {
  if (!lista.is_array()) datosMal();
  std::map<std::int64_t, std::string> dichas;
  for (const auto& parte : lista) {
    if (!parte.is_object()) datosMal();
    const auto n = entero(parte, "n");
    if (!dichas.emplace(n, sinComillas(texto(parte, "etag"))).second) fallar(400, "noLlego");
  }
  if (static_cast<std::int64_t>(dichas.size()) != version.total) fallar(400, "noLlego");
  for (const auto& [n, etag] : dichas) {
    Sentencia parte("SELECT tamano, etag FROM partes WHERE versionId=? AND n=?", version.id, n);
    if (!parte.fila() || !igualesSeguro(sinComillas(parte.texto(1)), etag) ||
        parte.entero(0) != huecoDe(version, n))
      fallar(400, "noLlego");
  }
}

void confirmar(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const auto cuerpo = cuerpoJson(req);
  const auto version = versionPropia(usuario, req.matches[1]);
  if (!version.blobId) fallar(400, "noLlego");
  const std::string blobId = *version.blobId;
  if (version.tamanoParte == 0) {
    if (version.recibidos != version.tamano) fallar(400, "noLlego");
  } else {
    comprobarPartes(version,
                    cuerpo.contains("partes") ? cuerpo["partes"] : nlohmann::json::array());
    terminarEnsamblado(blobId);
  }
  const auto miniaturaId = hacerMiniatura(blobId, version.tipo);
  Transaccion transaccion;
  auto sueltos = std::vector<std::string>();
  if (!leerVersion(version.id)) {
    if (miniaturaId) borrarBlob(*miniaturaId);
    noExiste();
  }
  const auto archivo = leerArchivo(version.archivoId);
  if (archivo && !archivo->visible &&
      nombreOcupado(archivo->carpetaId, archivo->nombre, archivo->id))
    fallar(409, "repetido");
  sueltos = hacerActual(version.archivoId, version.tamano, version.tipo, blobId, miniaturaId);
  Sentencia("DELETE FROM versiones WHERE id=?", version.id).ejecutar();
  Sentencia("DELETE FROM firmas WHERE objetoId=?", version.id).ejecutar();
  transaccion.confirmar();
  for (const auto& blob : sueltos) borrarBlob(blob);
  responderOk(res);
}

}  // namespace

void limpiarAbandonos(std::int64_t ahora) {
  std::vector<std::string> sueltos;
  {
    Transaccion transaccion;
    Sentencia viejas(
        "SELECT v.blobId, p.blobId FROM versiones v LEFT JOIN partes p ON p.versionId = v.id "
        "WHERE v.creadaMs < ?",
        ahora - vidaSubida);
    while (viejas.fila())
      for (int i = 0; i < 2; ++i)
        if (!viejas.nulo(i)) sueltos.push_back(viejas.texto(i));
    Sentencia("DELETE FROM firmas WHERE objetoId IN (SELECT id FROM versiones WHERE creadaMs < ?)",
              ahora - vidaSubida)
        .ejecutar();
    Sentencia("DELETE FROM versiones WHERE creadaMs < ?", ahora - vidaSubida).ejecutar();
    Sentencia(
        "DELETE FROM archivos WHERE visible=0 AND id NOT IN (SELECT archivoId FROM versiones) "
        "AND id NOT IN (SELECT id FROM favoritos)")
        .ejecutar();
    Sentencia("DELETE FROM firmas WHERE venceMs < ?", ahora).ejecutar();
    Sentencia("DELETE FROM desafios WHERE venceMs < ?", ahora).ejecutar();
    transaccion.confirmar();
  }
  std::set<std::string> unicos(sueltos.begin(), sueltos.end());
  for (const auto& blob : unicos) borrarBlob(blob);
}

void rutasSubidas(Rutas& rutas) {
  rutas.post("/v1/subidas", iniciar);
  rutas.post(R"(/v1/subidas/([^/]+)/partes/(\d{1,9})/firmar)", firmarParte);
  rutas.putBytes(R"(/v1/subidas/([^/]+)/partes/(\d{1,9}))", subirParteServicio);
  rutas.post("/v1/subidas/([^/]+)/confirmar", confirmar);
  rutas.putBytes("/almacen/subir/([^/]+)", subirFirmado);
  rutas.putBytes("/almacen/partes/([^/]+)", subirFirmado);
}

}  // namespace vemlo::servicio
