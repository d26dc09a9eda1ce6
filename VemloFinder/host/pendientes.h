// Pendientes: what was written into the folder and has not reached the service yet. Each
// entry is a staging copy of the file's bytes plus a small record, both on disk (fsynced)
// before the write is acknowledged as closed, so that a crash or kill -9 loses nothing: the
// next start finds every entry again. An entry is removed only after its upload succeeded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vemlo::finder::host {

struct Pendiente {
  std::string clave;   // the entry's own name, unique in the store
  std::string id;      // item identifier: the existing item, or empty for a new file
  std::string padre;   // parent item identifier
  std::string nombre;  // file name
  std::int64_t intentos = 0;
  std::string ultimoFallo;  // the last failure's code, for the status query
  bool detenida = false;    // refused for good: not tried again until written or restarted
  bool operator==(const Pendiente&) const = default;
};

class Pendientes {
 public:
  // Uses (and creates, 0700) `carpeta`; reads every whole entry left by an earlier run.
  // A record without its copy, or a copy without its record, is not an entry (a copy
  // without record is kept aside under "huerfanos/", never deleted).
  explicit Pendientes(std::filesystem::path carpeta);

  // A new staging file for a new entry: the path to write the bytes to. Nothing is an
  // entry until `confirmar`.
  std::filesystem::path nuevaCopia(std::string& clave);
  // Makes `clave` an entry with these facts: syncs its copy and writes its record atomically;
  // once it returns, the entry survives a crash. The clave must come from `nuevaCopia`, and
  // id, parent and name must be UTF-8 (std::invalid_argument otherwise, nothing written).
  // Each call counts as one change of the entry. The same as sincronizarCopia then registrar.
  void confirmar(const Pendiente& pendiente);
  // The slow half of confirmar: the copy's bytes and name reach the disk.
  void sincronizarCopia(const std::string& clave) const;
  // The quick half, once the copy was synced: the record, written atomically.
  void registrar(const Pendiente& pendiente);
  // Replaces the record's facts (new name or parent after a rename, new id after the first
  // upload, attempts and last failure); std::out_of_range when `clave` is not an entry.
  void actualizar(const Pendiente& pendiente);
  // A new file's first upload gave it the service's identifier: the entry, if it is still
  // there, keeps it.
  void anotarId(const std::string& clave, const std::string& id);
  // The upload succeeded: removes record and copy (a clave that is no entry is ignored).
  void quitar(const std::string& clave);
  // The file was deleted while still open: removes the record only; the copy is the caller's
  // to remove once closed (a crash meanwhile leaves it under "huerfanos/").
  void quitarRegistro(const std::string& clave);

  // How many times the entry was confirmed since this store was made: an upload is current
  // only while this has not changed since it began.
  std::uint64_t cambios(const std::string& clave) const;
  std::optional<Pendiente> buscar(const std::string& clave) const;
  std::vector<Pendiente> todos() const;  // in the order they were confirmed
  std::filesystem::path copia(const std::string& clave) const;

 private:
  struct Entrada {
    Pendiente datos;
    std::int64_t orden = 0;  // its place in the confirmation order, kept in its record
    std::uint64_t cambios = 0;
  };
  // All with candado_ held, or at start.
  void escribirRegistro(const Pendiente& pendiente, std::int64_t orden) const;
  void leerRegistro(const std::filesystem::path& ruta);
  void apartar(const std::filesystem::path& ruta) const;
  std::filesystem::path registro(const std::string& clave) const;

  const std::filesystem::path carpeta_;
  mutable std::mutex candado_;  // guards entradas_, orden_ and the records on disk
  std::map<std::string, Entrada> entradas_;
  std::int64_t orden_ = 0;  // the highest order given
};

}  // namespace vemlo::finder::host
