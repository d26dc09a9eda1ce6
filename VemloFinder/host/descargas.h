// The downloads that readers follow while the bytes arrive: each file being fetched has one
// Descarga, shared by everyone reading it, which knows how many bytes are on disk and holds
// the reads waiting for bytes still to come; Descargas is the table of them for one domain,
// with the bytes of downloads stopped when their last reader left, which the next continues.
//
// Lock order: the two locks are never held together, and no waiting read is answered with
// either held (a read is answered from the thread that brought its bytes, after the lock).
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "finder/proveedor.h"
#include "vemlo/descriptor.h"

namespace vemlo::finder::host {

class Descargas;

// What a download stopped for want of readers left: the first `bytes` of that version.
struct Pausada {
  std::string id;
  std::string version;
  std::filesystem::path archivo;
  std::int64_t bytes = 0;
  std::chrono::steady_clock::time_point cuando = std::chrono::steady_clock::now();
};

class Descarga {
 public:
  // What a waiting read hears: null once its bytes are on disk, else why they never will be.
  using Aviso = std::function<void(std::exception_ptr)>;

  // A new, empty file in `carpeta` that the download fills.
  Descarga(const std::filesystem::path& carpeta, std::string version);
  // The file of a stopped download, whose first bytes are there already.
  explicit Descarga(const Pausada& pausada);
  ~Descarga();
  Descarga(const Descarga&) = delete;
  Descarga& operator=(const Descarga&) = delete;

  // Runs `aviso` once the first `hasta` bytes are on disk or the download ended: at once, on
  // this thread, when that is already so; else later, on the download's.
  void alLlegar(std::int64_t hasta, Aviso aviso);
  // From the download: the first `bytes` are on disk.
  void llegaron(std::int64_t bytes);
  // The end: with `guardado` (the file's place in the cache) when every byte arrived, or with
  // the failure (the file is the caller's to keep or remove). Wakes every waiting read.
  void terminar(std::exception_ptr fallo, std::optional<std::filesystem::path> guardado);
  // The fetch to cancel when no reader is left; cancelled at once if that happened already.
  void fijarProgreso(fp::ProgressPtr progreso);
  void cancelar();

  bool completa() const;
  bool cancelada() const;
  // Still running, and `desde` more than `margen` bytes past those on disk.
  bool porDelante(std::int64_t desde, std::int64_t margen) const;
  std::int64_t llegados() const;
  // The cache's file, once complete.
  std::optional<std::filesystem::path> guardado() const;
  const std::filesystem::path& archivo() const { return archivo_; }
  const std::string& version() const { return version_; }
  // The file open for reading, for as long as the Descarga lives.
  int fd() const { return fd_.get(); }

 private:
  friend class Descargas;

  std::filesystem::path archivo_;  // set once, by the constructor
  const std::string version_;
  Descriptor fd_;
  int lectores_ = 0;  // guarded by the table's lock

  mutable std::mutex candado_;  // guards everything below
  std::int64_t llegados_ = 0;
  bool terminada_ = false;
  std::exception_ptr fallo_;
  std::optional<std::filesystem::path> guardado_;
  std::multimap<std::int64_t, Aviso> esperando_;  // by the bytes each read waits for
  fp::ProgressPtr progreso_;
  bool cancelada_ = false;
};

class Descargas {
 public:
  // Downloads write into files of `carpeta`; what an earlier run left there goes.
  explicit Descargas(std::filesystem::path carpeta);
  // The running download of this version of the item, with one more reader; when there is
  // none, a new one (which the caller starts: the bool is true), in the file a stopped download
  // of this version left not long ago, if any.
  std::pair<std::shared_ptr<Descarga>, bool> unirse(const std::string& id,
                                                    const std::string& version);
  // A reader left; after the last, an unfinished download is cancelled and no one joins it.
  void dejar(const std::string& id, const std::shared_ptr<Descarga>& descarga);
  // The download ended: new readers no longer join it, and what stopped downloads of the item
  // left goes.
  void quitar(const std::string& id, const Descarga* descarga);
  // Keeps what a stopped download left for the next reader; the oldest past a few go.
  void pausar(Pausada pausada);

 private:
  std::shared_ptr<Descarga> crear(const std::string& id, const std::string& version);

  const std::filesystem::path carpeta_;
  std::mutex candado_;  // guards entradas_, pausadas_ and every Descarga's lectores_
  std::unordered_map<std::string, std::shared_ptr<Descarga>> entradas_;  // by item
  std::list<Pausada> pausadas_;                                          // oldest first
};

}  // namespace vemlo::finder::host
