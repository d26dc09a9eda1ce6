// Whole-file reads and writes, and atomic replacement.
#include "vemlo/archivo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vemlo {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fallaArchivo(const char* que, const fs::path& ruta) {
  throw fs::filesystem_error(que, ruta, {errno, std::generic_category()});
}

std::string leerDe(int fd, const fs::path& ruta) {
  std::string bytes;
  char trozo[16384];
  for (;;) {
    const auto n = read(fd, trozo, sizeof trozo);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fallaArchivo("read", ruta);
    if (n == 0) return bytes;
    bytes.append(trozo, static_cast<std::size_t>(n));
  }
}

}  // namespace

void escribirTodo(int fd, std::string_view bytes, const fs::path& ruta) {
  while (!bytes.empty()) {
    const auto n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fallaArchivo("write", ruta);
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

std::string leerTodo(const fs::path& ruta) {
  const Descriptor fd(open(ruta.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd) fallaArchivo("open", ruta);
  return leerDe(fd.get(), ruta);
}

std::optional<std::string> leerSiHay(const fs::path& ruta) {
  const Descriptor fd(open(ruta.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd && errno == ENOENT) return std::nullopt;
  if (!fd) fallaArchivo("open", ruta);
  return leerDe(fd.get(), ruta);
}

Temporal::Temporal(const fs::path& destino, mode_t modo) : destino_(destino) {
  std::string plantilla =
      (destino.parent_path() / ("." + destino.filename().string() + ".XXXXXX")).string();
  fd_ = Descriptor(mkostemp(plantilla.data(), O_CLOEXEC));
  if (!fd_) fallaArchivo("mkostemp", plantilla);
  ruta_ = plantilla;
  if (fchmod(fd_.get(), modo) != 0) {
    unlink(ruta_.c_str());
    fallaArchivo("fchmod", ruta_);
  }
}

Temporal::~Temporal() {
  if (!conservado_) unlink(ruta_.c_str());
}

void Temporal::conservar(Durabilidad durabilidad) {
  if (durabilidad != Durabilidad::ninguna && fdatasync(fd_.get()) != 0)
    fallaArchivo("fdatasync", ruta_);
  if (rename(ruta_.c_str(), destino_.c_str()) != 0) fallaArchivo("rename", destino_);
  conservado_ = true;
  if (durabilidad == Durabilidad::datosYCarpeta)
    sincronizar(destino_.parent_path().empty() ? "." : destino_.parent_path());
}

void reemplazar(const fs::path& ruta, std::string_view bytes, Durabilidad durabilidad,
                mode_t modo) {
  Temporal temporal(ruta, modo);
  temporal.escribir(bytes);
  temporal.conservar(durabilidad);
}

void sincronizar(const fs::path& ruta) {
  const Descriptor fd(open(ruta.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) fallaArchivo("open", ruta);
  if (fsync(fd.get()) != 0) fallaArchivo("fsync", ruta);
}

}  // namespace vemlo
