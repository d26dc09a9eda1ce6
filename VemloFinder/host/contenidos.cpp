// The content cache on disk: one file per item in one folder, named "<id half>-<version
// half>" so that a restart reads the cache back from the names alone, and whose modification
// time is set at each use so that the eviction order survives too.
#include "contenidos.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// A name half is the hex of the bytes when they are at most `maximoEntero`; longer ones are
// the hex of their first `prefijoLargo` bytes, "z", and the hex of a 64-bit FNV-1a of them
// all. So a name never passes 255 bytes (126 + 1 + 126) and needs no other record; a wrong
// hit would take a collision of the identifier's half and the version's half at once.
constexpr std::size_t maximoEntero = 63;
constexpr std::size_t prefijoLargo = 48;
constexpr std::size_t largoResumido = 2 * prefijoLargo + 1 + 16;

[[noreturn]] void fallaArchivo(const char* que, const fs::path& ruta) {
  throw fs::filesystem_error(que, ruta, {errno, std::generic_category()});
}

std::string hex(std::string_view bytes) {
  static constexpr char digitos[] = "0123456789abcdef";
  std::string texto;
  texto.reserve(bytes.size() * 2);
  for (const unsigned char c : bytes) {
    texto.push_back(digitos[c >> 4]);
    texto.push_back(digitos[c & 15]);
  }
  return texto;
}

std::string parteDe(std::string_view bytes) {
  if (bytes.size() <= maximoEntero) return hex(bytes);
  std::uint64_t resumen = 0xcbf29ce484222325ULL;
  for (const unsigned char c : bytes) resumen = (resumen ^ c) * 0x100000001b3ULL;
  std::string grande(8, '\0');
  for (std::size_t i = 0; i < 8; ++i) grande[i] = static_cast<char>(resumen >> (56 - 8 * i));
  return hex(bytes.substr(0, prefijoLargo)) + "z" + hex(grande);
}

bool esHex(std::string_view texto) {
  return std::all_of(texto.begin(), texto.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// True for what `parteDe` can give (hex is of even length, the long form of odd length).
bool esParte(std::string_view parte) {
  if (parte.size() == largoResumido)
    return parte[2 * prefijoLargo] == 'z' && esHex(parte.substr(0, 2 * prefijoLargo)) &&
           esHex(parte.substr(2 * prefijoLargo + 1));
  return parte.size() % 2 == 0 && parte.size() <= 2 * maximoEntero && esHex(parte);
}

std::int64_t nanos(const timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

void borrar(const fs::path& ruta) {
  if (::unlink(ruta.c_str()) != 0 && errno != ENOENT) fallaArchivo("unlink", ruta);
}

void crearCarpeta(const fs::path& carpeta) {
  if (carpeta.has_parent_path()) fs::create_directories(carpeta.parent_path());
  if (::mkdir(carpeta.c_str(), 0700) != 0 && errno != EEXIST) fallaArchivo("mkdir", carpeta);
}

// A cache file found at start.
struct Hallado {
  std::string clave;
  std::string version;
  std::uint64_t bytes = 0;
  std::int64_t tiempo = 0;
  std::string nombre;
};

std::optional<Hallado> interpretar(const std::string& nombre, const struct stat& datos) {
  const auto guion = nombre.find('-');
  if (guion == std::string::npos || !S_ISREG(datos.st_mode)) return std::nullopt;
  Hallado hallado{nombre.substr(0, guion), nombre.substr(guion + 1),
                  static_cast<std::uint64_t>(datos.st_size), nanos(datos.st_mtim), nombre};
  if (!esParte(hallado.clave) || !esParte(hallado.version)) return std::nullopt;
  return hallado;
}

// The cache files in `carpeta`, least recently used first; other files are removed.
std::vector<Hallado> leerCarpeta(const fs::path& carpeta) {
  std::vector<Hallado> hallados;
  for (const auto& elemento : fs::directory_iterator(carpeta)) {
    struct stat datos {};
    if (::lstat(elemento.path().c_str(), &datos) != 0) fallaArchivo("lstat", elemento.path());
    if (S_ISDIR(datos.st_mode)) continue;
    if (auto hallado = interpretar(elemento.path().filename().string(), datos))
      hallados.push_back(std::move(*hallado));
    else
      borrar(elemento.path());
  }
  std::sort(hallados.begin(), hallados.end(), [](const Hallado& a, const Hallado& b) {
    return std::tie(a.tiempo, a.nombre) < std::tie(b.tiempo, b.nombre);
  });
  return hallados;
}

}  // namespace

CacheContenidos::CacheContenidos(fs::path carpeta, std::uint64_t limiteBytes,
                                 const std::set<std::string>& protegidos)
    : carpeta_(std::move(carpeta)), limite_(limiteBytes) {
  for (const auto& id : protegidos) protegidos_.insert(parteDe(id));
  crearCarpeta(carpeta_);
  for (const auto& hallado : leerCarpeta(carpeta_)) {
    // Two versions of one item: a stop between storing one and removing the other.
    if (const auto viejo = entradas_.find(hallado.clave); viejo != entradas_.end())
      descartar(viejo, true);
    anotar(hallado.clave, hallado.version, hallado.bytes);
    ultimoToque_ = std::max(ultimoToque_, hallado.tiempo);
  }
  desalojar(nullptr);
}

std::optional<fs::path> CacheContenidos::buscar(const std::string& id, const std::string& version) {
  const auto clave = parteDe(id);
  const auto parteVersion = parteDe(version);
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(clave);
  if (entrada == entradas_.end() || entrada->second.version != parteVersion) return std::nullopt;
  if (!marcar(entrada->second.ruta)) {
    descartar(entrada, false);  // removed behind our back
    return std::nullopt;
  }
  fila_.splice(fila_.end(), fila_, entrada->second.enFila);
  return entrada->second.ruta;
}

fs::path CacheContenidos::guardar(const std::string& id, const std::string& version,
                                  const fs::path& archivo) {
  const auto clave = parteDe(id);
  const auto parteVersion = parteDe(version);
  const auto ruta = carpeta_ / (clave + "-" + parteVersion);
  struct stat datos {};
  if (::stat(archivo.c_str(), &datos) != 0) fallaArchivo("stat", archivo);
  std::lock_guard candado(candado_);
  if (::rename(archivo.c_str(), ruta.c_str()) != 0)
    throw fs::filesystem_error("rename", archivo, ruta, {errno, std::generic_category()});
  std::optional<fs::path> anterior;
  if (const auto viejo = entradas_.find(clave); viejo != entradas_.end()) {
    if (viejo->second.ruta != ruta) anterior = viejo->second.ruta;
    descartar(viejo, false);
  }
  anotar(clave, parteVersion, static_cast<std::uint64_t>(datos.st_size));
  marcar(ruta);
  // Readers of the old version keep reading it through their open descriptors.
  if (anterior) borrar(*anterior);
  desalojar(&clave);
  return ruta;
}

bool CacheContenidos::tiene(const std::string& id, const std::string& version) const {
  const auto clave = parteDe(id);
  const auto parteVersion = parteDe(version);
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(clave);
  return entrada != entradas_.end() && entrada->second.version == parteVersion;
}

void CacheContenidos::abrir(const std::string& id) {
  const auto clave = parteDe(id);
  std::lock_guard candado(candado_);
  ++abiertos_[clave];
}

void CacheContenidos::cerrar(const std::string& id) {
  const auto clave = parteDe(id);
  std::lock_guard candado(candado_);
  const auto abierto = abiertos_.find(clave);
  if (abierto == abiertos_.end() || --abierto->second > 0) return;
  abiertos_.erase(abierto);
  desalojar(nullptr);  // it may have been what kept the total past the limit
}

void CacheContenidos::cambiarVersion(const std::string& id, const std::string& antes,
                                     const std::string& despues) {
  const auto clave = parteDe(id);
  const auto parteAntes = parteDe(antes);
  const auto parteDespues = parteDe(despues);
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(clave);
  if (entrada == entradas_.end() || entrada->second.version != parteAntes) return;
  const auto ruta = carpeta_ / (clave + "-" + parteDespues);
  if (::rename(entrada->second.ruta.c_str(), ruta.c_str()) != 0) {
    if (errno != ENOENT) fallaArchivo("rename", entrada->second.ruta);
    return descartar(entrada, false);  // removed behind our back
  }
  entrada->second.version = parteDespues;
  entrada->second.ruta = ruta;
}

void CacheContenidos::olvidar(const std::string& id) {
  const auto clave = parteDe(id);
  std::lock_guard candado(candado_);
  if (const auto entrada = entradas_.find(clave); entrada != entradas_.end())
    descartar(entrada, true);
}

void CacheContenidos::proteger(const std::set<std::string>& ids) {
  std::set<std::string> claves;
  for (const auto& id : ids) claves.insert(parteDe(id));
  std::lock_guard candado(candado_);
  protegidos_ = std::move(claves);
  desalojar(nullptr);
}

bool CacheContenidos::protegido(const std::string& id) const {
  const auto clave = parteDe(id);
  std::lock_guard candado(candado_);
  return protegidos_.contains(clave);
}

void CacheContenidos::fijarLimite(std::uint64_t limiteBytes) {
  std::lock_guard candado(candado_);
  limite_ = limiteBytes;
  desalojar(nullptr);
}

std::uint64_t CacheContenidos::limite() const {
  std::lock_guard candado(candado_);
  return limite_;
}

std::uint64_t CacheContenidos::ocupados() const {
  std::lock_guard candado(candado_);
  return ocupados_;
}

// Adds an entry as the most recently used.
void CacheContenidos::anotar(const std::string& clave, const std::string& version,
                             std::uint64_t bytes) {
  fila_.push_back(clave);
  entradas_[clave] = {version, carpeta_ / (clave + "-" + version), bytes, std::prev(fila_.end())};
  ocupados_ += bytes;
}

// Sets the file's modification time to now, or just past the last one given when the clock
// has not moved on, so that every use has its own time. False when the file is gone.
bool CacheContenidos::marcar(const fs::path& ruta) {
  timespec ahora{};
  clock_gettime(CLOCK_REALTIME, &ahora);
  ultimoToque_ = std::max(nanos(ahora), ultimoToque_ + 1);
  const timespec tiempos[2] = {{0, UTIME_OMIT},
                               {ultimoToque_ / 1'000'000'000, ultimoToque_ % 1'000'000'000}};
  if (::utimensat(AT_FDCWD, ruta.c_str(), tiempos, 0) == 0) return true;
  if (errno != ENOENT) fallaArchivo("utimensat", ruta);
  return false;
}

void CacheContenidos::descartar(Entradas::iterator entrada, bool borrarArchivo) {
  if (borrarArchivo) borrar(entrada->second.ruta);
  ocupados_ -= entrada->second.bytes;
  fila_.erase(entrada->second.enFila);
  entradas_.erase(entrada);
}

// Removes closed, unprotected entries, least recently used first, until the total fits the
// limit; the entry `conservar` (just stored) stays whatever its size.
void CacheContenidos::desalojar(const std::string* conservar) {
  for (auto clave = fila_.begin(); clave != fila_.end() && ocupados_ > limite_;) {
    const auto entrada = entradas_.find(*clave++);
    const bool queda = (conservar && entrada->first == *conservar) ||
                       abiertos_.contains(entrada->first) || protegidos_.contains(entrada->first);
    if (queda) continue;
    descartar(entrada, true);
  }
}

}  // namespace vemlo::finder::host
