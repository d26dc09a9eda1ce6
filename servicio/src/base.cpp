// SQLite plumbing and the schema. Each thread keeps its own connection and statement cache;
// WAL lets readers run while one writer writes, and the busy timeout queues writers.
#include "base.h"

#include <memory>
#include <stdexcept>
#include <unordered_map>

#include <sqlite3.h>

namespace vemlo::servicio {
namespace {

std::string archivoBase;

constexpr const char* esquema = R"sql(
CREATE TABLE IF NOT EXISTS usuarios(
  id TEXT PRIMARY KEY, correo TEXT NOT NULL UNIQUE, nombre TEXT NOT NULL,
  sal BLOB NOT NULL, clave BLOB NOT NULL, iteraciones INTEGER NOT NULL,
  totp TEXT, verificado INTEGER NOT NULL DEFAULT 1);
CREATE TABLE IF NOT EXISTS respaldos(
  usuarioId TEXT NOT NULL REFERENCES usuarios(id), orden INTEGER NOT NULL,
  codigo TEXT NOT NULL, usado INTEGER NOT NULL DEFAULT 0, PRIMARY KEY(usuarioId, orden));
CREATE TABLE IF NOT EXISTS sesiones(
  huella TEXT PRIMARY KEY, usuarioId TEXT NOT NULL REFERENCES usuarios(id),
  creadaMs INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS desafios(
  huella TEXT PRIMARY KEY, usuarioId TEXT NOT NULL REFERENCES usuarios(id),
  venceMs INTEGER NOT NULL, fallos INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS organizaciones(
  id TEXT PRIMARY KEY, nombre TEXT NOT NULL, raizId TEXT NOT NULL, cuota INTEGER NOT NULL,
  tope INTEGER NOT NULL DEFAULT 0, sinTarjeta INTEGER NOT NULL DEFAULT 0,
  pagoFallido INTEGER NOT NULL DEFAULT 0, anualVigente INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS miembros(
  usuarioId TEXT NOT NULL REFERENCES usuarios(id),
  organizacionId TEXT NOT NULL REFERENCES organizaciones(id), rol TEXT NOT NULL,
  orden INTEGER NOT NULL, PRIMARY KEY(usuarioId, organizacionId));
CREATE TABLE IF NOT EXISTS carpetas(
  id TEXT PRIMARY KEY, organizacionId TEXT NOT NULL REFERENCES organizaciones(id),
  padreId TEXT REFERENCES carpetas(id), nombre TEXT NOT NULL, pliegue TEXT NOT NULL,
  creadaMs INTEGER NOT NULL, borradaMs INTEGER);
CREATE INDEX IF NOT EXISTS carpetasPorPadre ON carpetas(padreId, nombre);
CREATE INDEX IF NOT EXISTS carpetasPorEmpresa ON carpetas(organizacionId);
CREATE TABLE IF NOT EXISTS archivos(
  id TEXT PRIMARY KEY, organizacionId TEXT NOT NULL REFERENCES organizaciones(id),
  carpetaId TEXT NOT NULL REFERENCES carpetas(id), nombre TEXT NOT NULL, pliegue TEXT NOT NULL,
  tamano INTEGER NOT NULL DEFAULT 0, tipo TEXT NOT NULL, actualizadoMs INTEGER NOT NULL,
  blobId TEXT, miniaturaId TEXT, visible INTEGER NOT NULL DEFAULT 0, borradoMs INTEGER);
CREATE INDEX IF NOT EXISTS archivosPorCarpeta ON archivos(carpetaId, nombre);
CREATE INDEX IF NOT EXISTS archivosRecientes ON archivos(organizacionId, actualizadoMs);
CREATE INDEX IF NOT EXISTS archivosUso ON archivos(organizacionId, visible, tamano);
CREATE TABLE IF NOT EXISTS versiones(
  id TEXT PRIMARY KEY, archivoId TEXT NOT NULL REFERENCES archivos(id),
  usuarioId TEXT NOT NULL, tamano INTEGER NOT NULL, tipo TEXT NOT NULL,
  creadaMs INTEGER NOT NULL, tamanoParte INTEGER NOT NULL, total INTEGER NOT NULL,
  directo INTEGER NOT NULL, blobId TEXT, etag TEXT, recibidos INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS versionesPorFecha ON versiones(creadaMs);
CREATE TABLE IF NOT EXISTS partes(
  versionId TEXT NOT NULL REFERENCES versiones(id) ON DELETE CASCADE, n INTEGER NOT NULL,
  blobId TEXT NOT NULL, tamano INTEGER NOT NULL, etag TEXT NOT NULL, PRIMARY KEY(versionId, n));
CREATE TABLE IF NOT EXISTS firmas(
  huella TEXT PRIMARY KEY, clase TEXT NOT NULL, objetoId TEXT NOT NULL,
  n INTEGER NOT NULL DEFAULT 0, venceMs INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS firmasPorVencimiento ON firmas(venceMs);
CREATE TABLE IF NOT EXISTS usos(
  organizacionId TEXT PRIMARY KEY REFERENCES organizaciones(id), bytes INTEGER NOT NULL);
INSERT OR IGNORE INTO usos SELECT id, (SELECT COALESCE(SUM(tamano), 0) FROM archivos
  WHERE archivos.organizacionId=organizaciones.id AND visible=1) FROM organizaciones;
CREATE TABLE IF NOT EXISTS favoritos(
  usuarioId TEXT NOT NULL REFERENCES usuarios(id), tipo TEXT NOT NULL, id TEXT NOT NULL,
  PRIMARY KEY(usuarioId, tipo, id));
)sql";

void comprobar(int codigo, sqlite3* db) {
  if (codigo == SQLITE_OK || codigo == SQLITE_ROW || codigo == SQLITE_DONE) return;
  throw std::runtime_error(std::string("sqlite: ") + (db ? sqlite3_errmsg(db) : "sin conexión"));
}

struct Conexion {
  sqlite3* db = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> cache;

  Conexion() {
    comprobar(
        sqlite3_open_v2(archivoBase.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr),
        db);
    sqlite3_busy_timeout(db, 30000);
    comprobar(sqlite3_exec(db, "PRAGMA foreign_keys=ON; PRAGMA synchronous=NORMAL;", nullptr,
                           nullptr, nullptr),
              db);
  }
  ~Conexion() {
    for (auto& [sql, sentencia] : cache) sqlite3_finalize(sentencia);
    sqlite3_close(db);
  }
};

Conexion& conexionDelHilo() {
  thread_local Conexion propia;
  return propia;
}

}  // namespace

void abrirBase(const std::string& archivo) {
  archivoBase = archivo;
  ejecutarSql("PRAGMA journal_mode=WAL");
  ejecutarSql(esquema);
}

sqlite3* conexion() {
  return conexionDelHilo().db;
}

void ejecutarSql(std::string_view sql) {
  const std::string texto(sql);
  comprobar(sqlite3_exec(conexion(), texto.c_str(), nullptr, nullptr, nullptr), conexion());
}

Sentencia::Sentencia(std::string_view sql) {
  auto& propia = conexionDelHilo();
  auto& guardada = propia.cache[std::string(sql)];
  if (guardada && !sqlite3_stmt_busy(guardada)) {
    sentencia_ = guardada;
    return;
  }
  sqlite3_stmt* nueva = nullptr;
  comprobar(sqlite3_prepare_v3(propia.db, sql.data(), static_cast<int>(sql.size()),
                               SQLITE_PREPARE_PERSISTENT, &nueva, nullptr),
            propia.db);
  if (!guardada) guardada = nueva;
  sentencia_ = nueva;
}

Sentencia::~Sentencia() {
  sqlite3_reset(sentencia_);
  sqlite3_clear_bindings(sentencia_);
  const auto& cache = conexionDelHilo().cache;
  const auto pos = cache.find(sqlite3_sql(sentencia_));
  if (pos == cache.end() || pos->second != sentencia_) sqlite3_finalize(sentencia_);
}

bool Sentencia::fila() {
  const int codigo = sqlite3_step(sentencia_);
  comprobar(codigo, sqlite3_db_handle(sentencia_));
  return codigo == SQLITE_ROW;
}

void Sentencia::ejecutar() {
  while (fila()) {
  }
}

std::string Sentencia::texto(int columna) const {
  const auto* datos = static_cast<const char*>(sqlite3_column_blob(sentencia_, columna));
  const int largo = sqlite3_column_bytes(sentencia_, columna);
  return datos ? std::string(datos, static_cast<std::size_t>(largo)) : std::string();
}

std::optional<std::string> Sentencia::textoNulo(int columna) const {
  if (nulo(columna)) return std::nullopt;
  return texto(columna);
}

std::int64_t Sentencia::entero(int columna) const {
  return sqlite3_column_int64(sentencia_, columna);
}

bool Sentencia::nulo(int columna) const {
  return sqlite3_column_type(sentencia_, columna) == SQLITE_NULL;
}

void Sentencia::ligar(int i, std::int64_t valor) {
  comprobar(sqlite3_bind_int64(sentencia_, i, valor), sqlite3_db_handle(sentencia_));
}

void Sentencia::ligar(int i, std::string_view valor) {
  comprobar(
      sqlite3_bind_text64(sentencia_, i, valor.data(), valor.size(), SQLITE_TRANSIENT, SQLITE_UTF8),
      sqlite3_db_handle(sentencia_));
}

void Sentencia::ligar(int i, const std::optional<std::string>& valor) {
  if (valor)
    ligar(i, std::string_view(*valor));
  else
    ligar(i, std::nullopt);
}

void Sentencia::ligar(int i, std::nullopt_t) {
  comprobar(sqlite3_bind_null(sentencia_, i), sqlite3_db_handle(sentencia_));
}

Transaccion::Transaccion(bool escritura) {
  ejecutarSql(escritura ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaccion::~Transaccion() {
  if (abierta_) sqlite3_exec(conexion(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaccion::confirmar() {
  ejecutarSql("COMMIT");
  abierta_ = false;
}

}  // namespace vemlo::servicio
