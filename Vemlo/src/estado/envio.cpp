// Files and folders from this computer into a folder of the service.
#include "envio.h"

#include <sys/stat.h>

#include <set>
#include <utility>
#include <vector>

#include "vemlo/error.h"
#include "vemlo/subida.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;
using Identidad = std::pair<dev_t, ino_t>;

// The folder of that name in `carpetaId`: made, or the one there already.
std::string carpetaDestino(const Vemlo& api, const std::string& carpetaId,
                           const std::string& nombre, const std::stop_token& parar) {
  try {
    return api.crearCarpeta(carpetaId, nombre, parar);
  } catch (const ErrorVemlo& e) {
    if (e.caso() != ErrorVemlo::Caso::api || e.codigo() != "repetido") throw;
  }
  for (const auto& c : api.verCarpeta(carpetaId, parar).carpetas)
    if (c.nombre == nombre) return c.id;
  throw ErrorVemlo::api(409, "repetido");
}

// The folder's entries in the file system's order, hidden ones left out.
std::vector<fs::path> entradas(const fs::path& carpeta) {
  std::vector<fs::path> lista;
  for (const auto& entrada : fs::directory_iterator(carpeta)) {
    if (!entrada.path().filename().string().starts_with(".")) lista.push_back(entrada.path());
  }
  return lista;
}

Identidad identidad(const fs::path& carpeta) {
  struct stat datos {};
  if (stat(carpeta.c_str(), &datos) != 0)
    throw fs::filesystem_error("stat", carpeta, {errno, std::generic_category()});
  return {datos.st_dev, datos.st_ino};
}

void enviarEn(const Vemlo& api, const fs::path& ruta, const std::string& carpetaId,
              const std::function<void(double)>& avanzar, const std::stop_token& parar,
              std::set<Identidad>& abiertas) {
  std::error_code error;
  if (!fs::is_directory(ruta, error)) {
    subirArchivo(ruta, carpetaId, api, {.alAvanzar = avanzar, .parar = parar});
    return;
  }
  const auto propia = identidad(ruta);
  if (abiertas.contains(propia)) return;  // a link back into a folder being walked
  abiertas.insert(propia);
  const auto id = carpetaDestino(api, carpetaId, ruta.filename().string(), parar);
  const auto lista = entradas(ruta);
  for (std::size_t i = 0; i < lista.size(); ++i) {
    enviarEn(
        api, lista[i], id, [](double) {}, parar, abiertas);
    if (avanzar) avanzar(static_cast<double>(i + 1) / static_cast<double>(lista.size()));
  }
  abiertas.erase(propia);
}

}  // namespace

void enviar(const Vemlo& api, const fs::path& ruta, const std::string& carpetaId,
            const std::function<void(double)>& avanzar, std::stop_token parar) {
  std::set<Identidad> abiertas;
  auto normal = ruta.lexically_normal();
  if (!normal.has_filename()) normal = normal.parent_path();  // a folder given as "dir/"
  enviarEn(api, normal, carpetaId, avanzar, parar, abiertas);
}

}  // namespace vemlo::app
