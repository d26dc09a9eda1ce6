// The metadata store: SQLite in WAL mode with one connection per thread, prepared
// statements cached per connection, and write transactions that take the lock up front.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace vemlo::servicio {

// Opens (creating when new) the database file and its schema; before any other use.
void abrirBase(const std::string& archivo);
// The calling thread's connection, opened on first use.
sqlite3* conexion();

// A cached prepared statement, bound and stepped; reset when it goes out of scope.
class Sentencia {
 public:
  template <class... Valores>
  explicit Sentencia(std::string_view sql, const Valores&... valores) : Sentencia(sql) {
    int i = 0;
    (ligar(++i, valores), ...);
  }
  explicit Sentencia(std::string_view sql);
  ~Sentencia();
  Sentencia(const Sentencia&) = delete;
  Sentencia& operator=(const Sentencia&) = delete;

  // Steps once: true when a row is there to read.
  bool fila();
  // Runs to the end (for statements that change things).
  void ejecutar();

  std::string texto(int columna) const;
  std::optional<std::string> textoNulo(int columna) const;
  std::int64_t entero(int columna) const;
  bool nulo(int columna) const;

 private:
  void ligar(int i, std::int64_t valor);
  void ligar(int i, int valor) { ligar(i, static_cast<std::int64_t>(valor)); }
  void ligar(int i, bool valor) { ligar(i, static_cast<std::int64_t>(valor)); }
  void ligar(int i, std::string_view valor);
  void ligar(int i, const std::string& valor) { ligar(i, std::string_view(valor)); }
  void ligar(int i, const char* valor) { ligar(i, std::string_view(valor)); }
  void ligar(int i, const std::optional<std::string>& valor);
  void ligar(int i, std::nullopt_t);
  sqlite3_stmt* sentencia_;
};

// One transaction; rolled back unless `confirmar` is called. Writers take the write lock at
// BEGIN so two writers never deadlock on an upgrade.
class Transaccion {
 public:
  explicit Transaccion(bool escritura = true);
  ~Transaccion();
  Transaccion(const Transaccion&) = delete;
  Transaccion& operator=(const Transaccion&) = delete;
  void confirmar();

 private:
  bool abierta_ = true;
};

// Runs SQL without results or parameters (schema, pragmas).
void ejecutarSql(std::string_view sql);

}  // namespace vemlo::servicio
