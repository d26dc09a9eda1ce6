// Files kept on this device from a terminal: `folder pin PATH` and `folder unpin PATH` set and
// remove the extended attribute `user.vemlo.fijado` of a file or folder inside a Vemlo
// folder (the mount passes it to vemlo-finder, which downloads and keeps it), and
// `folder cache-limit SIZE` sets the content cache's limit through the running host, or
// stores it for its next start.
#include <sys/vfs.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "fallos.h"
#include "finder/control.h"
#include "finder/dominios.h"
#include "finder/limite_cache.h"
#include "ordenes.h"
#include "salida.h"
#include "textos.h"

namespace vemlo::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* atributoFijado = "user.vemlo.fijado";
constexpr long kFuse = 0x65735546;  // FUSE_SUPER_MAGIC

// True when `ruta` is inside a registered company's Vemlo folder, mounted: anywhere else
// (a folder that merely has its name while unmounted) the attribute would only be stored.
bool enCarpetaVemlo(const std::string& ruta) {
  std::error_code error;
  const auto real = fs::weakly_canonical(fs::absolute(ruta, error), error);
  struct statfs datos {};
  if (error || ::statfs(real.c_str(), &datos) != 0 || datos.f_type != kFuse) return false;
  for (const auto& dominio : finder::getDomains()) {
    const auto punto = fs::weakly_canonical(finder::puntoDeMontaje(dominio), error);
    if (error) continue;
    const auto relativa = real.lexically_relative(punto);
    if (!relativa.empty() && *relativa.begin() != "..") return true;
  }
  return false;
}

// The sentence of a pin or unpin that failed with `codigo` (errno).
std::string fallaFijar(const std::string& ruta, int codigo) {
  switch (codigo) {
    case ENOTSUP:
      return trf("{} is not inside a Vemlo folder.", "{} no está dentro de una carpeta Vemlo.",
                 {ruta});
    case ENOENT:
      return trf("{} was not found.", "No se encontró {}.", {ruta});
    case EAGAIN:
      return trf("{} has not been uploaded yet; try again once it is.",
                 "{} aún no se ha subido; inténtalo de nuevo cuando lo esté.", {ruta});
    default:
      return trf("{} could not be changed: {}", "No se pudo cambiar {}: {}",
                 {ruta, std::strerror(codigo)});
  }
}

int fijar(const std::string& ruta, bool fijado) {
  if (!fs::exists(ruta)) throw ErrorOrden(fallaFijar(ruta, ENOENT));
  if (!enCarpetaVemlo(ruta)) throw ErrorOrden(fallaFijar(ruta, ENOTSUP));
  const int resultado = fijado ? ::setxattr(ruta.c_str(), atributoFijado, "1", 1, 0)
                               : ::removexattr(ruta.c_str(), atributoFijado);
  // Unpinning what was not pinned leaves it as asked.
  if (resultado != 0 && !(errno == ENODATA && !fijado)) throw ErrorOrden(fallaFijar(ruta, errno));
  imprimir(fijado ? trf("{} is kept on this device.", "{} se mantiene en este equipo.", {ruta})
                  : trf("{} is no longer kept on this device.",
                        "{} ya no se mantiene en este equipo.", {ruta}));
  return hecho;
}

int limitar(const std::string& texto) {
  const auto bytes = finder::leerTamano(texto);
  if (!bytes)
    throw ErrorUso(trf("Not a size: {} (for example 500MB, 2GB, 1.5GiB).",
                       "No es un tamaño: {} (por ejemplo 500MB, 2GB, 1.5GiB).", {texto}));
  if (const auto codigo = finder::limitarCache(*bytes))
    throw ErrorOrden(trf("The cache limit could not be set ({}).",
                         "No se pudo fijar el límite de la caché ({}).", {*codigo}));
  imprimir(trf("The Vemlo folder's cache now keeps up to {}.",
               "La caché de la carpeta Vemlo guarda ahora hasta {}.",
               {tamanoLegible(static_cast<std::int64_t>(*bytes))}));
  return hecho;
}

void ordenDeFijar(CLI::App* folder, Ordenes& ordenes, bool fijado) {
  auto ruta = std::make_shared<std::string>();
  auto* orden = fijado ? folder->add_subcommand(
                             "pin", tr("Keep a file or folder of a Vemlo folder on this device",
                                       "Mantener en este equipo un archivo o carpeta de una "
                                       "carpeta Vemlo"))
                       : folder->add_subcommand(
                             "unpin", tr("Stop keeping a file or folder on this device",
                                         "Dejar de mantener en este equipo un archivo o carpeta"));
  orden->add_option("PATH", *ruta, tr("The file or folder", "El archivo o la carpeta"))->required();
  orden->callback([&ordenes, ruta, fijado] {
    ordenes.accion = [ruta, fijado] { return fijar(*ruta, fijado); };
  });
}

}  // namespace

void ordenesDeFijados(CLI::App* folder, Ordenes& ordenes) {
  ordenDeFijar(folder, ordenes, true);
  ordenDeFijar(folder, ordenes, false);
  auto tamano = std::make_shared<std::string>();
  auto* limite = folder->add_subcommand(
      "cache-limit", tr("Set how much the Vemlo folders keep on this device",
                        "Fijar cuánto guardan las carpetas Vemlo en este equipo"));
  limite->add_option("SIZE", *tamano, tr("For example 500MB, 2GB", "Por ejemplo 500MB, 2GB"))
      ->required();
  limite->callback([&ordenes, tamano] { ordenes.accion = [tamano] { return limitar(*tamano); }; });
}

}  // namespace vemlo::cli
