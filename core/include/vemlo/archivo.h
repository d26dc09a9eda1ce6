// Files written whole: every byte in or out, and a file replaced in one step (a private
// temporary file beside it, renamed over it) with as much durability as the caller asks for.
// Failures throw std::filesystem::filesystem_error naming the step and the path.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "vemlo/descriptor.h"

namespace vemlo {

// What survives a crash of the machine right after a replacement returns.
enum class Durabilidad {
  // Nothing is promised: the old file, the new one, or (after a crash) an empty one.
  ninguna,
  // The new bytes reach the disk before the rename: old or new, never a torn file.
  datos,
  // Also the folder, after the rename: the new file, for records that must not go back.
  datosYCarpeta,
};

// Writes every byte of `bytes` to `fd`; `ruta` names it in the failure.
void escribirTodo(int fd, std::string_view bytes, const std::filesystem::path& ruta);

// Every byte of the file. Opened without blocking, so a FIFO in its place cannot hang the
// caller.
std::string leerTodo(const std::filesystem::path& ruta);

// Every byte of the file; none when it is not there (any other failure throws).
std::optional<std::string> leerSiHay(const std::filesystem::path& ruta);

// A temporary file "." + name + ".XXXXXX" beside `destino`, created with `modo` (0600 unless
// told), that takes the destination's name only at `conservar` and is removed otherwise.
class Temporal {
 public:
  explicit Temporal(const std::filesystem::path& destino, mode_t modo = 0600);
  ~Temporal();
  Temporal(const Temporal&) = delete;
  Temporal& operator=(const Temporal&) = delete;

  void escribir(std::string_view bytes) { escribirTodo(fd_.get(), bytes, ruta_); }
  // Syncs as `durabilidad` asks and renames the file over the destination (a symbolic link
  // there is replaced, never followed).
  void conservar(Durabilidad durabilidad);

 private:
  std::filesystem::path destino_;
  std::filesystem::path ruta_;
  Descriptor fd_;
  bool conservado_ = false;
};

// Replaces `ruta` with `bytes` through a Temporal.
void reemplazar(const std::filesystem::path& ruta, std::string_view bytes, Durabilidad durabilidad,
                mode_t modo = 0600);

// Flushes a file, or a folder's entries, to the disk.
void sincronizar(const std::filesystem::path& ruta);

}  // namespace vemlo
