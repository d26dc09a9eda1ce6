// Reads of the folder tree. Trash is marked on the top item only, so an item is alive when
// neither it nor any folder above it carries a trash date; paths walk up the parents.
#include "arbol.h"

#include "base.h"
#include "http.h"
#include "textos.h"

namespace vemlo::servicio {
namespace {

constexpr const char* subirCadena = R"sql(
WITH RECURSIVE sube(id, organizacionId, padreId, nombre, creadaMs, borradaMs, nivel) AS (
  SELECT id, organizacionId, padreId, nombre, creadaMs, borradaMs, 0 FROM carpetas WHERE id=?
  UNION ALL
  SELECT c.id, c.organizacionId, c.padreId, c.nombre, c.creadaMs, c.borradaMs, s.nivel + 1
  FROM carpetas c JOIN sube s ON c.id = s.padreId)
SELECT id, organizacionId, padreId, nombre, creadaMs, borradaMs FROM sube ORDER BY nivel DESC)sql";

Carpeta carpetaDeFila(const Sentencia& fila) {
  Carpeta carpeta{fila.texto(0), fila.texto(1),  fila.textoNulo(2),
                  fila.texto(3), fila.entero(4), std::nullopt};
  if (!fila.nulo(5)) carpeta.borradaMs = fila.entero(5);
  return carpeta;
}

}  // namespace

Archivo archivoDeFila(const Sentencia& fila, int desde) {
  const int i = desde;
  Archivo archivo{fila.texto(i),           fila.texto(i + 1),     fila.texto(i + 2),
                  fila.texto(i + 3),       fila.entero(i + 4),    fila.texto(i + 5),
                  fila.entero(i + 6),      fila.textoNulo(i + 7), fila.textoNulo(i + 8),
                  fila.entero(i + 9) != 0, std::nullopt};
  if (!fila.nulo(i + 10)) archivo.borradoMs = fila.entero(i + 10);
  return archivo;
}

std::optional<Carpeta> leerCarpeta(const std::string& id) {
  Sentencia fila(
      "SELECT id, organizacionId, padreId, nombre, creadaMs, borradaMs FROM carpetas WHERE id=?",
      id);
  if (!fila.fila()) return std::nullopt;
  return carpetaDeFila(fila);
}

std::optional<Archivo> leerArchivo(const std::string& id) {
  Sentencia fila(std::string("SELECT ") + columnasArchivo + " FROM archivos WHERE id=?", id);
  if (!fila.fila()) return std::nullopt;
  return archivoDeFila(fila);
}

std::optional<Empresa> leerEmpresa(const std::string& id) {
  Sentencia fila(
      "SELECT id, nombre, raizId, cuota, tope, sinTarjeta, pagoFallido, anualVigente "
      "FROM organizaciones WHERE id=?",
      id);
  if (!fila.fila()) return std::nullopt;
  return Empresa{fila.texto(0),       fila.texto(1),       fila.texto(2),
                 fila.entero(3),      fila.entero(4) != 0, fila.entero(5) != 0,
                 fila.entero(6) != 0, fila.entero(7) != 0};
}

std::int64_t usoDe(const std::string& organizacionId) {
  Sentencia fila("SELECT bytes FROM usos WHERE organizacionId=?", organizacionId);
  return fila.fila() ? fila.entero(0) : 0;
}

void sumarUso(const std::string& organizacionId, std::int64_t bytes) {
  if (bytes == 0) return;
  Sentencia(
      "INSERT INTO usos(organizacionId, bytes) VALUES(?, ?) ON CONFLICT(organizacionId) DO "
      "UPDATE SET bytes=bytes+excluded.bytes",
      organizacionId, bytes)
      .ejecutar();
}

std::optional<std::string> rolEn(const std::string& usuarioId, const std::string& organizacionId) {
  Sentencia fila("SELECT rol FROM miembros WHERE usuarioId=? AND organizacionId=?", usuarioId,
                 organizacionId);
  if (!fila.fila()) return std::nullopt;
  return fila.texto(0);
}

std::vector<Carpeta> cadena(const std::string& carpetaId) {
  std::vector<Carpeta> pasos;
  Sentencia fila(subirCadena, carpetaId);
  while (fila.fila()) pasos.push_back(carpetaDeFila(fila));
  return pasos;
}

bool carpetaViva(const std::string& carpetaId) {
  const auto pasos = cadena(carpetaId);
  if (pasos.empty()) return false;
  for (const auto& paso : pasos)
    if (paso.borradaMs) return false;
  return true;
}

bool archivoVivo(const Archivo& archivo) {
  return archivo.visible && !archivo.borradoMs && carpetaViva(archivo.carpetaId);
}

std::string rolExigido(const std::string& usuarioId, const std::string& organizacionId) {
  auto rol = rolEn(usuarioId, organizacionId);
  if (!rol) noExiste();
  return std::move(*rol);
}

Carpeta carpetaVisible(const std::string& usuarioId, const std::string& id, std::string& rol) {
  auto carpeta = leerCarpeta(id);
  if (!carpeta || !carpetaViva(id)) noExiste();
  rol = rolExigido(usuarioId, carpeta->organizacionId);
  return std::move(*carpeta);
}

Archivo archivoVisible(const std::string& usuarioId, const std::string& id, std::string& rol) {
  auto archivo = leerArchivo(id);
  if (!archivo || !archivoVivo(*archivo)) noExiste();
  rol = rolExigido(usuarioId, archivo->organizacionId);
  return std::move(*archivo);
}

void exigirEscritura(const std::string& rol) {
  if (rol == "lector") sinPermiso();
}

bool nombreOcupado(const std::string& carpetaId, const std::string& nombre,
                   const std::string& salvoId) {
  Sentencia carpetas(
      "SELECT 1 FROM carpetas WHERE padreId=? AND nombre=? AND borradaMs IS NULL AND id<>?",
      carpetaId, nombre, salvoId);
  if (carpetas.fila()) return true;
  Sentencia archivos(
      "SELECT 1 FROM archivos WHERE carpetaId=? AND nombre=? AND visible=1 AND borradoMs IS NULL "
      "AND id<>?",
      carpetaId, nombre, salvoId);
  return archivos.fila();
}

ArchivoRemoto aRemoto(const Archivo& archivo, bool conCarpeta) {
  ArchivoRemoto remoto{archivo.id,
                       archivo.nombre,
                       archivo.tamano,
                       archivo.tipo,
                       fechaIso(archivo.actualizadoMs),
                       archivo.miniaturaId.has_value(),
                       std::nullopt};
  if (conCarpeta) remoto.carpetaId = archivo.carpetaId;
  return remoto;
}

}  // namespace vemlo::servicio
