// The client end of the control socket: where the host listens, and its requests. A host
// of another user is never asked.
#include "finder/control.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "finder/dominios.h"
#include "finder/enchufe.h"
#include "finder/limite_cache.h"
#include "vemlo/descriptor.h"

namespace vemlo::finder {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

[[noreturn]] void fallaSistema(const std::string& que) {
  throw std::system_error(errno, std::system_category(), que);
}

// A plain answer's reason: none for "ok", else the code of "error <code> <detail>".
std::optional<std::string> codigoDe(std::string respuesta) {
  if (respuesta == "ok\n") return std::nullopt;
  if (!respuesta.starts_with("error ")) return "fallo";
  respuesta.erase(0, 6);
  return respuesta.substr(0, respuesta.find_first_of(" \n"));
}

}  // namespace

fs::path carpetaDeEjecucion() {
  const char* ejecucion = std::getenv("XDG_RUNTIME_DIR");
  if (ejecucion && *ejecucion == '/') return fs::path(ejecucion) / "vemlo";
  return fs::path("/tmp") / ("vemlo-" + std::to_string(getuid()));
}

fs::path prepararCarpetaDeEjecucion() {
  const auto carpeta = carpetaDeEjecucion();
  if (mkdir(carpeta.c_str(), 0700) != 0 && errno != EEXIST)
    throw fs::filesystem_error("mkdir", carpeta, {errno, std::generic_category()});
  // In a shared /tmp someone else may have made it first, or left a link in its place.
  struct stat datos {};
  if (lstat(carpeta.c_str(), &datos) != 0)
    throw fs::filesystem_error("lstat", carpeta, {errno, std::generic_category()});
  if (!S_ISDIR(datos.st_mode) || datos.st_uid != getuid())
    throw std::runtime_error(carpeta.string() + " is not a folder of this user");
  return carpeta;
}

fs::path archivoDeControl() {
  return carpetaDeEjecucion() / "finder.sock";
}

std::string pedirAlAnfitrion(const std::string& linea) {
  const auto ruta = archivoDeControl();
  const auto dir = direccionDe(ruta);
  const Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd) fallaSistema("socket");
  if (connect(fd.get(), reinterpret_cast<const sockaddr*>(&dir), sizeof dir) != 0) {
    if (errno == ENOENT || errno == ECONNREFUSED || errno == ENOTDIR) throw SinAnfitrion();
    fallaSistema("cannot reach vemlo-finder at " + ruta.string());
  }
  if (!delMismoUsuario(fd.get()))
    throw std::runtime_error(ruta.string() + " belongs to another user");
  const auto peticion = linea.ends_with('\n') ? linea : linea + "\n";
  if (!enviarTodo(fd.get(), peticion)) fallaSistema("cannot write to vemlo-finder");
  shutdown(fd.get(), SHUT_WR);
  return leerHastaElFinal(fd.get());
}

std::optional<json> estadoDelAnfitrion() {
  try {
    auto estado = json::parse(pedirAlAnfitrion("estado"), nullptr, false);
    if (estado.is_object() && estado.contains("dominios") && estado["dominios"].is_array())
      return estado;
  } catch (const std::exception&) {
    // Not running, or not reachable: the same for every caller.
  }
  return std::nullopt;
}

json estadoDelRegistro() {
  auto lista = json::array();
  for (const auto& dominio : getDomains())
    lista.push_back({{"identifier", dominio.identifier},
                     {"displayName", dominio.displayName},
                     {"enabled", dominio.enabled},
                     {"puntoDeMontaje", puntoDeMontaje(dominio).string()},
                     {"montado", false},
                     {"motivo", dominio.enabled ? "sinAnfitrion" : "apagada"}});
  return {{"limiteCache", limiteCache()}, {"dominios", std::move(lista)}};
}

std::optional<std::string> senalar(const std::string& identifier) {
  return codigoDe(pedirAlAnfitrion("senal " + identifier));
}

std::optional<std::string> fijarItem(const std::string& identifier, const std::string& id,
                                     bool fijado) {
  if (identifier.find_first_of(" \n") != std::string::npos || id.find('\n') != std::string::npos)
    return "fallo";
  return codigoDe(pedirAlAnfitrion((fijado ? "fijar " : "soltar ") + identifier + " " + id));
}

std::optional<std::string> limitarCache(std::uint64_t bytes) {
  try {
    return codigoDe(pedirAlAnfitrion("limite " + std::to_string(bytes)));
  } catch (const SinAnfitrion&) {
    guardarLimiteCache(bytes);
    return std::nullopt;
  }
}

ItemEnCarpeta itemEn(const fs::path& ruta) {
  if (ruta.native().find_first_of("\n\r") != std::string::npos)
    throw RechazoDelAnfitrion("fueraDeCarpeta", "a path with a line break");
  auto respuesta = pedirAlAnfitrion("item " + ruta.native());
  if (respuesta.starts_with("error ")) {
    respuesta.erase(0, 6);
    const auto fin = respuesta.find_first_of(" \n");
    throw RechazoDelAnfitrion(respuesta.substr(0, fin),
                              fin == std::string::npos ? "" : respuesta.substr(fin + 1));
  }
  const auto item = json::parse(respuesta, nullptr, false);
  if (!item.is_object() || !item.contains("id") || !item["id"].is_string())
    throw std::runtime_error("vemlo-finder gave an answer that is not an item");
  return {item.value("identifier", ""), item["id"].get<std::string>(), item.value("padre", ""),
          item.value("carpeta", false), item.value("raiz", false)};
}

}  // namespace vemlo::finder
