// The content cache of one domain: the bytes of files fetched from the service, one file per
// item identifier and content version, kept across restarts under a size limit. Files that
// are open or kept on this device (protected) are never evicted; of the others, the least
// recently used go first. A file's name
// is made of its item's and version's bytes, and its modification time records its last use,
// so that the folder alone is the cache's whole state.
#pragma once

#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace vemlo::finder::host {

class CacheContenidos {
 public:
  // Uses (and creates, 0700) `carpeta`; what an earlier run left there is cached again, the
  // least recently modified first in line for eviction; stray files are removed (folders
  // inside are left alone). The items `protegidos` are protected from the start.
  CacheContenidos(std::filesystem::path carpeta, std::uint64_t limiteBytes,
                  const std::set<std::string>& protegidos = {});

  // The cached file of this item at this content version; marks it used.
  std::optional<std::filesystem::path> buscar(const std::string& id, const std::string& version);
  // Moves `archivo` (on the same file system) into the cache for this item and version,
  // replacing any other version of the item, then evicts closed files past the limit.
  std::filesystem::path guardar(const std::string& id, const std::string& version,
                                const std::filesystem::path& archivo);
  // Whether the item's file of this version is here (it is not marked used).
  bool tiene(const std::string& id, const std::string& version) const;
  // Open files of an item are not evicted; every abrir is matched by one cerrar. Counted per
  // item, also before it is stored; a cerrar without its abrir is ignored.
  void abrir(const std::string& id);
  void cerrar(const std::string& id);
  // The item's file of version `antes` becomes its file of version `despues` (the same bytes,
  // now known by another version); nothing when the cache has another version of it.
  void cambiarVersion(const std::string& id, const std::string& antes, const std::string& despues);
  // Drops every version of the item (it was deleted or replaced).
  void olvidar(const std::string& id);

  // The items whose files are never evicted (those kept on this device), replacing the last
  // set; the ones that leave it may go at once when the total is past the limit.
  void proteger(const std::set<std::string>& ids);
  bool protegido(const std::string& id) const;
  // A new limit, applied at once to the closed, unprotected files.
  void fijarLimite(std::uint64_t limiteBytes);
  std::uint64_t limite() const;

  std::uint64_t ocupados() const;
  const std::filesystem::path& carpeta() const { return carpeta_; }

 private:
  struct Entrada {
    std::string version;  // the version's half of the file name
    std::filesystem::path ruta;
    std::uint64_t bytes = 0;
    std::list<std::string>::iterator enFila;
  };
  using Entradas = std::map<std::string, Entrada>;
  // All with candado_ held.
  void anotar(const std::string& clave, const std::string& version, std::uint64_t bytes);
  bool marcar(const std::filesystem::path& ruta);
  void descartar(Entradas::iterator entrada, bool borrarArchivo);
  void desalojar(const std::string* conservar);

  const std::filesystem::path carpeta_;
  mutable std::mutex candado_;  // guards everything below and the folder's files
  std::uint64_t limite_;
  Entradas entradas_;                    // by the identifier's half of the file name
  std::map<std::string, int> abiertos_;  // open counts above zero, keyed like entradas_
  std::set<std::string> protegidos_;     // keyed like entradas_
  std::list<std::string> fila_;          // least recently used first
  std::uint64_t ocupados_ = 0;
  std::int64_t ultimoToque_ = 0;  // the latest modification time given, ns since the epoch
};

}  // namespace vemlo::finder::host
