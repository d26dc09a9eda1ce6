// The extension's picture of a company's tree: one record per item, keyed by the item's
// identifier, and a generation counter from which sync anchors are made. Kept in memory,
// written whole to a JSON file after every change of its records, read back when a domain
// starts; a generation that moved without any change goes to a small file beside it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <variant>
#include <vector>

#include "finder/proveedor.h"

namespace vemlo::finder {

// One item as the extension knows it.
struct Ficha {
  std::string id;      // item identifier
  std::string padre;   // the parent's item identifier
  std::string nombre;  // file name
  bool esCarpeta = false;
  std::int64_t tamano = 0;  // bytes; 0 for folders
  std::string fecha;        // the service's timestamp text, or empty
  bool editable = false;    // the user may change it
  bool operator==(const Ficha&) const = default;
};

using Fichas = std::unordered_map<std::string, Ficha>;

// A decoded item identifier.
namespace destinos {
struct Raiz {
  bool operator==(const Raiz&) const = default;
};
struct Papelera {
  bool operator==(const Papelera&) const = default;
};
struct Carpeta {
  std::string id;
  bool operator==(const Carpeta&) const = default;
};
struct Fichero {
  std::string id;
  bool operator==(const Fichero&) const = default;
};
}  // namespace destinos
using Destino =
    std::variant<destinos::Raiz, destinos::Papelera, destinos::Carpeta, destinos::Fichero>;

// The root and trash containers by their identifiers, "a:" + id a file, "c:" + id a folder
// (the root folder's id is the root), anything else a folder with the whole text as id.
Destino destino(const std::string& identificador, const std::string& raizId);
// The identifier of a folder id: the root container for `raizId`, else "c:" + id.
std::string idDeCarpeta(const std::string& carpetaId, const std::string& raizId);

// What a crawl cut short by the record limit saw: the folders whose whole content its records
// hold. Records below any other folder keep their last known state.
struct Recorte {
  bool cortada = false;
  std::unordered_set<std::string> visitadas;  // folder identifiers
};

// A crawl's result: its records by identifier, and what it saw of the tree.
struct Foto {
  Fichas fichas;
  Recorte recorte;
};

// What `reemplazar` found: records new or different, and identifiers gone; both by id.
struct Cambios {
  std::vector<Ficha> cambiadas;
  std::vector<std::string> borradas;
};

// Identifier order: byte order for ASCII, canonically normalised Unicode otherwise.
bool antesQue(const std::string& a, const std::string& b);

// The index of one domain. Every operation runs alone and has written its files when it
// returns, so a lookup never sees half of a replacement. A snapshot rewrites the whole file;
// the records noted or removed between snapshots are appended to a journal beside it (one
// line each, applied at load over the file whose generation its first line names), so that
// noting one upload costs one line, not the whole index. Nothing here reports a failure: an
// unreadable file is an empty index, a failed write leaves the files as they were, and a
// journal line cut short or damaged ends the journal.
class Indice {
 public:
  // Reads $XDG_DATA_HOME/vemlo-finder/Vemlo/indice-<dominio>.json. A domain identifier that
  // cannot be part of a file name gets an index kept in memory only.
  explicit Indice(const std::string& dominio);

  std::optional<Ficha> consultar(const std::string& id) const;
  // Each changes the file only when a record changed.
  void anotar(const std::vector<Ficha>& fichas);
  // The snapshot becomes the index and the generation moves on. A cut snapshot deletes nothing
  // below the folders it did not visit.
  Cambios reemplazar(Fichas foto, const Recorte& recorte = {});
  void quitar(const std::string& id);
  // A copy of every record.
  std::vector<Ficha> todas() const;
  // A copy of the records whose parent is `padre`.
  std::vector<Ficha> hijosDe(const std::string& padre) const;
  bool tieneFoto() const;
  fp::SyncAnchor ancla() const;

  std::int64_t generacion() const;
  const std::optional<std::filesystem::path>& archivo() const { return archivo_; }

 private:
  // With candado_ held: the whole index (and a new journal), the generation alone, or lines
  // appended to the journal.
  void grabar();
  void grabarGeneracion() const;
  void anexar(const std::string& lineas);
  void leerDiario();
  std::vector<std::string> borradas(Fichas& foto, const Recorte& recorte) const;

  mutable std::mutex candado_;  // guards everything below and the file
  Fichas fichas_;
  std::int64_t generacion_ = 0;
  bool tieneFoto_ = false;
  const std::optional<std::filesystem::path> archivo_;
  std::optional<std::int64_t> generacionDelArchivo_;  // the one written in the file, if any
  std::uint64_t bytesDelArchivo_ = 0;
  std::uint64_t bytesDelDiario_ = 0;
};

// The on-disk form, {"generacion": n, "fichas": {id: {...}}}, written straight from the
// records and read by the streaming reader; exposed for the benchmark.
std::string codificarGuardado(std::int64_t generacion, const Fichas& fichas);
// Nothing when the text is not a whole, well-typed index.
std::optional<std::pair<std::int64_t, Fichas>> decodificarGuardado(const std::string& texto);

}  // namespace vemlo::finder
