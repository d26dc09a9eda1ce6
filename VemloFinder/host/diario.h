// Diario: the staging store's journal, one file of text lines appended in order by one writer
// thread. A line may be durable: its writer waits until the line is on disk, and the line is
// written only after the bytes of the file it vouches for (a staging copy), if any, reached the
// disk.
// Closes that wait at the same time share their syncs (group commit): each batch syncs every
// copy it holds, their folder once and the journal once.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "vemlo/descriptor.h"

namespace vemlo::finder::host {

class Diario {
 public:
  using Turno = std::uint64_t;

  // Appends to `archivo` (created when missing); the copies of durable lines are files of
  // `carpetaCopias`, synced once per batch.
  Diario(std::filesystem::path archivo, std::filesystem::path carpetaCopias);
  ~Diario();  // writes what is queued, then stops the writer
  Diario(const Diario&) = delete;
  Diario& operator=(const Diario&) = delete;

  // The journal's lines as on disk; a last line without its newline was cut short by a crash
  // and is not one.
  static std::vector<std::string> leer(const std::filesystem::path& archivo);

  // Queues `linea` (no newline in it) after every line queued before it.
  Turno anotar(std::string linea);
  // The same for a line to `esperar`: with `copia`, it is written once that file's bytes are on
  // disk (a copy that is gone by then needs nothing).
  Turno anotarDuradero(std::string linea, std::optional<std::filesystem::path> copia);
  // Returns once the durable line (or the replacement) of `turno` is on disk; throws what kept
  // it from getting there.
  void esperar(Turno turno);
  // Queues the replacement of the whole journal by `lineas` (what the lines before it came
  // to), written aside and renamed into place; the lines queued after it follow it.
  Turno reescribir(std::vector<std::string> lineas);
  // The journal's size once everything queued is written.
  std::uint64_t bytes() const;

 private:
  struct Pieza {
    Turno turno = 0;
    std::string linea;
    bool duradero = false;
    std::optional<std::filesystem::path> copia;    // the file a durable line vouches for
    std::optional<std::vector<std::string>> todo;  // a replacement of the journal
  };
  using Lote = std::vector<Pieza>;

  Turno encolar(Pieza pieza);
  void escribir(std::stop_token parar);  // the writer's loop
  // The writer's half, without the lock: the batch's copies, then its lines; the turns that
  // failed get their failure in `fallos`.
  void escribirLote(Lote& lote, std::unordered_map<Turno, std::exception_ptr>& fallos);
  void sincronizarCopias(Lote& lote, std::unordered_map<Turno, std::exception_ptr>& fallos);
  void anexar(const std::string& texto);
  void reemplazarArchivo(const std::vector<std::string>& lineas);

  const std::filesystem::path archivo_;
  const std::filesystem::path carpetaCopias_;
  Descriptor fd_;              // the journal, appended to; the writer's alone once started
  std::uint64_t escrito_ = 0;  // its size, the writer's alone

  mutable std::mutex candado_;  // guards the five below
  std::condition_variable_any hayCola_;
  std::condition_variable hecho_;
  Lote cola_;
  Turno ultimo_ = 0;    // the last turn given
  Turno resuelto_ = 0;  // every turn up to this one was written (or failed)
  std::unordered_map<Turno, std::exception_ptr> fallos_;  // durable turns not written
  std::uint64_t bytes_ = 0;                               // as bytes()

  std::jthread escritor_;  // last: it uses everything above
};

}  // namespace vemlo::finder::host
