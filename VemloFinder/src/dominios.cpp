// The domain registry's file. Every change reads, edits and rewrites the whole list while holding
// an exclusive flock on "dominios.lock" beside it (a file of its own, so that the lock outlives
// the replacement), and writes only by renaming a complete, synced temporary copy over
// "dominios.json": the host's inotify watch on the folder never sees a half-written list.
#include "finder/dominios.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <system_error>
#include <utility>

#include <nlohmann/json.hpp>

#include "vemlo/archivo.h"
#include "vemlo/descriptor.h"
#include "vemlo/xdg.h"

namespace vemlo::finder {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using Dominios = std::vector<DominioRegistrado>;

[[noreturn]] void fallaArchivo(const char* que, const fs::path& ruta) {
  throw fs::filesystem_error(que, ruta, {errno, std::generic_category()});
}

fs::path archivoDeCerrojo() {
  return archivoDeDominios().parent_path() / "dominios.lock";
}

// The folder and any missing parent, each made private (0700) as the XDG rules ask.
void crearCarpeta(const fs::path& carpeta) {
  if (mkdir(carpeta.c_str(), 0700) == 0 || errno == EEXIST) return;
  if (errno != ENOENT || carpeta.parent_path() == carpeta) fallaArchivo("mkdir", carpeta);
  crearCarpeta(carpeta.parent_path());
  if (mkdir(carpeta.c_str(), 0700) != 0 && errno != EEXIST) fallaArchivo("mkdir", carpeta);
}

// The lock file, opened and locked (`modo`: LOCK_SH or LOCK_EX) until the descriptor closes;
// an empty descriptor and the cause in `error` when it cannot be had.
Descriptor bloquear(int modo, std::error_code& error) {
  Descriptor fd(open(archivoDeCerrojo().c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600));
  while (fd && flock(fd.get(), modo) != 0) {
    if (errno == EINTR) continue;
    error = {errno, std::generic_category()};
    return Descriptor();
  }
  if (!fd) error = {errno, std::generic_category()};
  return fd;
}

// The parsed file: an empty list when it is missing, a discarded value when it cannot be read
// or is not JSON.
json documento(const fs::path& ruta) {
  try {
    const auto bytes = leerSiHay(ruta);
    return bytes ? json::parse(*bytes, nullptr, false) : json::array();
  } catch (const fs::filesystem_error&) {
    return json(json::value_t::discarded);
  }
}

std::optional<DominioRegistrado> dominioDe(const json& elemento) {
  if (!elemento.is_object()) return std::nullopt;
  const auto id = elemento.find("identifier");
  const auto nombre = elemento.find("displayName");
  const auto activo = elemento.find("enabled");
  const auto fin = elemento.end();
  if (id == fin || nombre == fin || activo == fin) return std::nullopt;
  if (!id->is_string() || !nombre->is_string() || !activo->is_boolean()) return std::nullopt;
  return DominioRegistrado{id->get<std::string>(), nombre->get<std::string>(), activo->get<bool>()};
}

// The list in the file, skipping elements that are not well-typed domains; none when the file
// cannot be read or does not hold a JSON array.
std::optional<Dominios> leer(const fs::path& ruta) {
  const auto lista = documento(ruta);
  if (!lista.is_array()) return std::nullopt;
  Dominios dominios;
  for (const auto& elemento : lista) {
    if (auto dominio = dominioDe(elemento)) dominios.push_back(std::move(*dominio));
  }
  return dominios;
}

// Names that are not UTF-8 are stored with U+FFFD in their place, so the file always parses.
std::string texto(const Dominios& dominios) {
  auto lista = json::array();
  for (const auto& d : dominios)
    lista.push_back(
        {{"identifier", d.identifier}, {"displayName", d.displayName}, {"enabled", d.enabled}});
  return lista.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

// Applies `cambio` to the list under the exclusive lock and writes the result when it differs
// from what was read, or when the file did not hold a list (a malformed file is replaced).
template <class Cambio>
void cambiar(Cambio&& cambio) {
  const auto ruta = archivoDeDominios();
  crearCarpeta(ruta.parent_path());
  std::error_code error;
  const auto cerrojo = bloquear(LOCK_EX, error);
  if (!cerrojo) throw fs::filesystem_error("flock", archivoDeCerrojo(), error);
  const auto leidos = leer(ruta);
  auto dominios = leidos.value_or(Dominios{});
  cambio(dominios);
  if (leidos && *leidos == dominios) return;
  reemplazar(ruta, texto(dominios), Durabilidad::datosYCarpeta);
}

Dominios::iterator buscar(Dominios& dominios, const std::string& identifier) {
  return std::find_if(dominios.begin(), dominios.end(),
                      [&](const auto& d) { return d.identifier == identifier; });
}

fs::path carpetaDeMontajes() {
  const char* carpetas = std::getenv("VEMLO_CARPETAS");
  if (carpetas && *carpetas == '/') return carpetas;
  const char* casa = std::getenv("HOME");
  return casa ? casa : "";
}

// A name made safe as one path component: no "/" and no NUL.
std::string componente(std::string nombre) {
  std::replace(nombre.begin(), nombre.end(), '/', '-');
  std::replace(nombre.begin(), nombre.end(), '\0', '-');
  return nombre;
}

}  // namespace

fs::path archivoDeDominios() {
  return configuracionDeUsuario() / "vemlo" / "dominios.json";
}

std::vector<DominioRegistrado> getDomains() {
  // The shared lock only orders us after a writer in progress; the rename alone already keeps
  // the file whole, so when the lock cannot be had (no folder yet) the file is read without it.
  std::error_code error;
  const auto cerrojo = bloquear(LOCK_SH, error);
  return leer(archivoDeDominios()).value_or(Dominios{});
}

void addDomain(const DominioRegistrado& dominio) {
  cambiar([&](Dominios& dominios) {
    const auto registrado = buscar(dominios, dominio.identifier);
    if (registrado == dominios.end())
      dominios.push_back(dominio);
    else
      registrado->displayName = dominio.displayName;
  });
}

void removeDomain(const std::string& identifier) {
  cambiar([&](Dominios& dominios) {
    std::erase_if(dominios, [&](const auto& d) { return d.identifier == identifier; });
  });
}

void removeAllDomains() {
  cambiar([](Dominios& dominios) { dominios.clear(); });
}

void setUserEnabled(const std::string& identifier, bool enabled) {
  cambiar([&](Dominios& dominios) {
    const auto registrado = buscar(dominios, identifier);
    if (registrado != dominios.end()) registrado->enabled = enabled;
  });
}

fs::path puntoDeMontaje(const DominioRegistrado& dominio) {
  const auto carpeta = carpetaDeMontajes();
  if (dominio.displayName == "Vemlo") return carpeta / "Vemlo";
  // A domain without a name still needs a folder of its own: its identifier stands in.
  const auto& nombre = dominio.displayName.empty() ? dominio.identifier : dominio.displayName;
  return carpeta / ("Vemlo-" + componente(nombre));
}

}  // namespace vemlo::finder
