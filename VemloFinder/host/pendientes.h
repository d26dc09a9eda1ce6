// Pendientes: what was written into the folder and has not reached the service yet. Each
// entry is a staging copy of the file's bytes plus a record in the store's journal, both on
// disk (synced) before the write is acknowledged as closed, so that a crash or kill -9 loses
// nothing: the next start finds every entry again. Closes at the same time share their syncs.
// An entry is removed only after its upload succeeded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "diario.h"

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
  using Turno = Diario::Turno;

  // Uses (and creates, 0700) `carpeta`; reads every whole entry left by an earlier run (in
  // its journal, or in the per-entry records of earlier versions) and compacts the journal.
  // A record without its copy, or a copy without its record, is not an entry (a copy
  // without record is kept aside under "huerfanos/", never deleted).
  explicit Pendientes(std::filesystem::path carpeta);

  // A new staging file for a new entry: the path to write the bytes to. Nothing is an
  // entry until `confirmar`.
  std::filesystem::path nuevaCopia(std::string& clave);
  // Makes `clave` an entry with these facts; once it returns, its copy and record survive a
  // crash. The clave must come from `nuevaCopia`, and id, parent and name must be UTF-8
  // (std::invalid_argument otherwise, nothing written). Each call counts as one change of the
  // entry. The same as registrar then esperar.
  void confirmar(const Pendiente& pendiente);
  // The quick half: the entry is one from now on, and its record is queued behind the sync of
  // its copy (a small copy's bytes go in the record instead, which is then all there is to
  // sync).
  Turno registrar(const Pendiente& pendiente);
  // The slow half, without locks of the caller held, so that closes share their syncs:
  // returns once the record of `turno` is on disk, or throws why it is not.
  void esperar(Turno turno);
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
    // A small copy's bytes as last confirmed, carried in its every record: the copy itself is
    // not synced, and the next start writes it again from them.
    std::optional<std::string> bytes;
    std::uint64_t largo = 0;  // the bytes of its latest record in the journal
  };
  // At start.
  void leerRegistrosViejos();
  void leerRegistro(const std::filesystem::path& ruta);
  void aplicar(const std::string& linea);
  void tomar(Pendiente datos, std::int64_t orden, std::optional<std::string> bytes);
  void restaurarCopias();
  void apartar(const std::filesystem::path& ruta) const;
  // With candado_ held.
  std::string lineaDeEntrada(Entrada& entrada);
  bool olvidarEntrada(const std::string& clave);
  std::vector<std::string> lineasVivas();
  void compactarSiCrecio();

  const std::filesystem::path carpeta_;
  // Lock order: candado_, then the journal's.
  mutable std::mutex candado_;  // guards entradas_, orden_, and the order of journal lines
  std::map<std::string, Entrada> entradas_;
  std::int64_t orden_ = 0;   // the highest order given
  std::uint64_t vivos_ = 0;  // what the latest record of each entry takes in the journal
  Diario diario_;
};

}  // namespace vemlo::finder::host
