// The opened-files cache.
#include "abiertos.h"

#include <sys/stat.h>

#include "vemlo/archivo.h"
#include "vemlo/error.h"
#include "vemlo/xdg.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

bool componenteSimple(const std::string& nombre) {
  return !nombre.empty() && nombre != "." && nombre != ".." &&
         nombre.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

// `carpeta` as a real folder: a link or a file in its place is removed first.
void carpetaPropia(const fs::path& carpeta) {
  std::error_code error;
  const auto estado = fs::symlink_status(carpeta, error);
  if (fs::exists(estado) && !fs::is_directory(estado)) fs::remove(carpeta);
  fs::create_directories(carpeta);
}

bool esArchivoPropio(const fs::path& ruta) {
  std::error_code error;
  return fs::is_regular_file(fs::symlink_status(ruta, error));
}

}  // namespace

fs::path carpetaDeAbiertos() {
  return cacheDeUsuario() / "vemlo" / "Abiertos";
}

void bajar(const Vemlo& api, const std::string& id, const fs::path& destino,
           std::stop_token parar) {
  const auto enlace = api.enlaceDescarga(id, parar);
  try {
    api.descargarDesde(enlace, destino, {}, std::move(parar));
  } catch (const ErrorVemlo& e) {
    if (e.caso() != ErrorVemlo::Caso::api) throw;
    throw ErrorVemlo::api(e.estado(), "noExiste");
  }
}

fs::path copiaLocal(const Vemlo& api, const ArchivoRemoto& archivo, std::stop_token parar) {
  // ".version" is the marker's own name.
  if (!componenteSimple(archivo.id) || !componenteSimple(archivo.nombre) ||
      archivo.nombre == ".version")
    throw ErrorVemlo::formato("a name that is not one path component");
  carpetaPropia(carpetaDeAbiertos());
  const auto carpeta = carpetaDeAbiertos() / archivo.id;
  carpetaPropia(carpeta);
  const auto copia = carpeta / archivo.nombre;
  const auto marca = carpeta / ".version";
  try {
    if (esArchivoPropio(copia) && esArchivoPropio(marca) &&
        leerTodo(marca) == archivo.actualizadoEn)
      return copia;
  } catch (const fs::filesystem_error&) {
    // An unreadable marker is an old copy.
  }
  bajar(api, archivo.id, copia, std::move(parar));
  try {
    reemplazar(marca, archivo.actualizadoEn, Durabilidad::ninguna);
  } catch (const fs::filesystem_error&) {
    // Without a marker the next preview fetches again: nothing is lost.
  }
  return copia;
}

}  // namespace vemlo::app
