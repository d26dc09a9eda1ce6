// The session store: the keychain item first, the file "sesion" in the shared container when
// the keychain refuses. File work goes through a descriptor of the container, never follows a
// symbolic link, and replaces the file by renaming a complete private copy over it (which
// replaces a link there rather than following it).
#include "vemlo/sesion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "llavero.h"
#include "vemlo/archivo.h"
#include "vemlo/descriptor.h"
#include "vemlo/utf8.h"
#include "vemlo/xdg.h"

namespace vemlo {
namespace {

constexpr const char* archivo = "sesion";
constexpr off_t tamanoMaximo = 64 * 1024;  // far beyond any token; more is not ours

// The container; an invalid descriptor when it is not there (or cannot be made, for `crear`,
// which also makes it private: 0700).
Descriptor abrirContenedor(bool crear) {
  const auto ruta = SesionGuardada::contenedor();
  if (crear) {
    std::error_code error;
    std::filesystem::create_directories(ruta.parent_path(), error);
    mkdir(ruta.c_str(), 0700);
  }
  Descriptor fd(open(ruta.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd && crear) fchmod(fd.get(), 0700);
  return fd;
}

// Removes whatever is at "sesion": a file, a link (not its target) or a folder.
void quitarArchivo(int contenedor) {
  if (unlinkat(contenedor, archivo, 0) == 0 || errno != EISDIR) return;
  std::error_code error;
  std::filesystem::remove_all(SesionGuardada::contenedor() / archivo, error);
}

// The bytes of "sesion" when it is a regular file of ours of a sane size.
std::optional<std::string> leerArchivo(int contenedor) {
  const Descriptor fd(openat(contenedor, archivo, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat datos {};
  if (!fd || fstat(fd.get(), &datos) != 0 || !S_ISREG(datos.st_mode) || datos.st_uid != geteuid() ||
      datos.st_size > tamanoMaximo)
    return std::nullopt;
  std::string bytes(static_cast<std::size_t>(datos.st_size), '\0');
  const auto n = pread(fd.get(), bytes.data(), bytes.size(), 0);
  if (n != static_cast<ssize_t>(bytes.size())) return std::nullopt;
  return bytes;
}

std::optional<std::string> comoTexto(std::optional<std::string> bytes) {
  if (!bytes || !esUtf8(*bytes)) return std::nullopt;
  return bytes;
}

}  // namespace

std::filesystem::path SesionGuardada::contenedor() {
  return datosDeUsuario() / "vemlo";
}

void SesionGuardada::guardar(std::string_view token) {
  borrar();
  if (llavero::agregar(token)) return;
  if (!abrirContenedor(true))
    throw std::filesystem::filesystem_error("mkdir", contenedor(),
                                            {errno, std::generic_category()});
  reemplazar(contenedor() / archivo, token, Durabilidad::datos);
}

std::optional<std::string> SesionGuardada::leer() {
  if (auto bytes = llavero::consultar()) return comoTexto(std::move(bytes));
  const auto contenedor = abrirContenedor(false);
  if (!contenedor) return std::nullopt;
  return comoTexto(leerArchivo(contenedor.get()));
}

void SesionGuardada::borrar() {
  llavero::eliminar();
  const auto contenedor = abrirContenedor(false);
  if (contenedor) quitarArchivo(contenedor.get());
}

std::shared_ptr<const Vemlo> SesionGuardada::clienteGuardado() {
  auto token = leer();
  if (!token) return nullptr;
  return std::make_shared<const Vemlo>(std::move(token));
}

}  // namespace vemlo
