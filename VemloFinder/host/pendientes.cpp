// The staging store on disk: "copias/<clave>" holds an entry's bytes and
// "registros/<clave>.json" its facts. An entry exists once its record does, and a record is
// only ever written whole (temporary file, sync, rename, sync of the folder) after its copy
// reached the disk. Bytes without a usable record go to "huerfanos/": they are the user's.
#include "pendientes.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <tuple>
#include <utility>

#include "vemlo/archivo.h"
#include "vemlo/descriptor.h"
#include "vemlo/json.h"
#include "vemlo/utf8.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// A record as stored: the entry's facts and its place in the confirmation order.
struct Ficha {
  std::string clave;
  std::string id;
  std::string padre;
  std::string nombre;
  std::int64_t intentos = 0;
  std::string ultimoFallo;
  std::int64_t orden = 0;
};

}  // namespace
}  // namespace vemlo::finder::host

namespace vemlo {
using finder::host::Ficha;
template <>
inline constexpr auto campos<Ficha> =
    std::tuple{Campo{"clave", &Ficha::clave},       Campo{"id", &Ficha::id},
               Campo{"padre", &Ficha::padre},       Campo{"nombre", &Ficha::nombre},
               Campo{"intentos", &Ficha::intentos}, Campo{"ultimoFallo", &Ficha::ultimoFallo},
               Campo{"orden", &Ficha::orden}};
}  // namespace vemlo

namespace vemlo::finder::host {
namespace {

[[noreturn]] void fallaArchivo(const char* que, const fs::path& ruta) {
  throw fs::filesystem_error(que, ruta, {errno, std::generic_category()});
}

void crearCarpeta(const fs::path& carpeta) {
  if (carpeta.has_parent_path()) fs::create_directories(carpeta.parent_path());
  if (::mkdir(carpeta.c_str(), 0700) != 0 && errno != EEXIST) fallaArchivo("mkdir", carpeta);
}

void borrar(const fs::path& ruta) {
  if (::unlink(ruta.c_str()) != 0 && errno != ENOENT) fallaArchivo("unlink", ruta);
}

// 16 random bytes in hex.
std::string claveNueva() {
  unsigned char bytes[16];
  std::size_t llenos = 0;
  while (llenos < sizeof bytes) {
    const auto n = ::getrandom(bytes + llenos, sizeof bytes - llenos, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::system_error(errno, std::generic_category(), "getrandom");
    llenos += static_cast<std::size_t>(n);
  }
  static constexpr char digitos[] = "0123456789abcdef";
  std::string clave;
  for (const unsigned char b : bytes) clave.append({digitos[b >> 4], digitos[b & 15]});
  return clave;
}

bool esArchivo(const fs::path& ruta) {
  struct stat datos {};
  if (::lstat(ruta.c_str(), &datos) == 0) return S_ISREG(datos.st_mode);
  if (errno != ENOENT) fallaArchivo("lstat", ruta);
  return false;
}

// The shape of the claves `claveNueva` makes, so that a clave is always a plain file name.
bool esClave(std::string_view clave) {
  return clave.size() == 32 && std::all_of(clave.begin(), clave.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

void validar(const Pendiente& p) {
  if (!esClave(p.clave)) throw std::invalid_argument("clave de pendiente no válida: " + p.clave);
  if (!esUtf8(p.id) || !esUtf8(p.padre) || !esUtf8(p.nombre))
    throw std::invalid_argument("texto que no es UTF-8 en el pendiente " + p.clave);
}

// The record in `texto` when it is one, and for the clave `clave`.
std::optional<Ficha> fichaDe(const std::string& texto, const std::string& clave) {
  const auto json = nlohmann::json::parse(texto, nullptr, false);
  if (json.is_discarded()) return std::nullopt;
  try {
    auto ficha = desdeJson<Ficha>(json);
    if (ficha.clave != clave) return std::nullopt;
    return ficha;
  } catch (const ErrorDecodificacion&) {
    return std::nullopt;
  }
}

}  // namespace

Pendientes::Pendientes(fs::path carpeta) : carpeta_(std::move(carpeta)) {
  crearCarpeta(carpeta_);
  for (const char* parte : {"copias", "registros", "huerfanos"}) crearCarpeta(carpeta_ / parte);
  std::vector<fs::path> registros;
  for (const auto& elemento : fs::directory_iterator(carpeta_ / "registros"))
    if (!elemento.is_directory()) registros.push_back(elemento.path());
  for (const auto& ruta : registros) leerRegistro(ruta);
  std::vector<fs::path> copias;
  for (const auto& elemento : fs::directory_iterator(carpeta_ / "copias"))
    if (!entradas_.contains(elemento.path().filename().string())) copias.push_back(elemento.path());
  for (const auto& ruta : copias) apartar(ruta);
}

fs::path Pendientes::nuevaCopia(std::string& clave) {
  for (;;) {
    clave = claveNueva();
    const auto ruta = copia(clave);
    const Descriptor fd(::open(ruta.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (fd) return ruta;
    if (errno != EEXIST) fallaArchivo("open", ruta);
  }
}

void Pendientes::confirmar(const Pendiente& pendiente) {
  validar(pendiente);
  sincronizarCopia(pendiente.clave);
  registrar(pendiente);
}

void Pendientes::sincronizarCopia(const std::string& clave) const {
  // The bytes, and their name in "copias/", reach the disk before the record can exist.
  sincronizar(copia(clave));
  sincronizar(carpeta_ / "copias");
}

void Pendientes::registrar(const Pendiente& pendiente) {
  validar(pendiente);
  std::lock_guard candado(candado_);
  const auto existente = entradas_.find(pendiente.clave);
  const bool hay = existente != entradas_.end();
  const auto orden = hay ? existente->second.orden : orden_ + 1;
  escribirRegistro(pendiente, orden);
  orden_ = std::max(orden_, orden);
  entradas_[pendiente.clave] = {pendiente, orden, hay ? existente->second.cambios + 1 : 1};
}

void Pendientes::actualizar(const Pendiente& pendiente) {
  validar(pendiente);
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(pendiente.clave);
  if (entrada == entradas_.end())
    throw std::out_of_range("no hay un pendiente con la clave " + pendiente.clave);
  escribirRegistro(pendiente, entrada->second.orden);
  entrada->second.datos = pendiente;
}

void Pendientes::anotarId(const std::string& clave, const std::string& id) {
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(clave);
  if (entrada == entradas_.end() || !entrada->second.datos.id.empty()) return;
  auto datos = entrada->second.datos;
  datos.id = id;
  validar(datos);
  escribirRegistro(datos, entrada->second.orden);
  entrada->second.datos = datos;
}

void Pendientes::quitar(const std::string& clave) {
  std::lock_guard candado(candado_);
  if (!entradas_.contains(clave)) return;
  // Record first: a stop in between leaves bytes without record, which are kept aside.
  borrar(registro(clave));
  entradas_.erase(clave);
  borrar(copia(clave));
}

void Pendientes::quitarRegistro(const std::string& clave) {
  std::lock_guard candado(candado_);
  if (!entradas_.contains(clave)) return;
  borrar(registro(clave));
  entradas_.erase(clave);
}

std::uint64_t Pendientes::cambios(const std::string& clave) const {
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(clave);
  return entrada == entradas_.end() ? 0 : entrada->second.cambios;
}

std::optional<Pendiente> Pendientes::buscar(const std::string& clave) const {
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(clave);
  if (entrada == entradas_.end()) return std::nullopt;
  return entrada->second.datos;
}

std::vector<Pendiente> Pendientes::todos() const {
  std::vector<Entrada> entradas;
  {
    std::lock_guard candado(candado_);
    for (const auto& [clave, entrada] : entradas_) entradas.push_back(entrada);
  }
  std::sort(entradas.begin(), entradas.end(), [](const Entrada& a, const Entrada& b) {
    return std::tie(a.orden, a.datos.clave) < std::tie(b.orden, b.datos.clave);
  });
  std::vector<Pendiente> lista;
  for (auto& entrada : entradas) lista.push_back(std::move(entrada.datos));
  return lista;
}

fs::path Pendientes::copia(const std::string& clave) const {
  return carpeta_ / "copias" / clave;
}

fs::path Pendientes::registro(const std::string& clave) const {
  return carpeta_ / "registros" / (clave + ".json");
}

// Writes the record whole under a temporary name, renamed over the old one. A failure code is
// stored with bytes that are not UTF-8 replaced; the names were checked before.
void Pendientes::escribirRegistro(const Pendiente& p, std::int64_t orden) const {
  const Ficha ficha{p.clave, p.id, p.padre, p.nombre, p.intentos, p.ultimoFallo, orden};
  const auto texto = aJson(ficha).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  reemplazar(registro(p.clave), texto, Durabilidad::datosYCarpeta);
}

// Takes in one file of "registros/" at start: a whole record with its copy becomes an entry;
// a temporary one never renamed into place, or a record whose copy is gone, is removed; any
// other file is set aside (its copy follows, as a copy without record).
void Pendientes::leerRegistro(const fs::path& ruta) {
  const auto nombre = ruta.filename().string();
  if (nombre.starts_with(".")) return borrar(ruta);
  const auto clave = ruta.stem().string();
  const auto ficha =
      ruta.extension() == ".json" && esClave(clave) ? fichaDe(leerTodo(ruta), clave) : std::nullopt;
  if (!ficha) return apartar(ruta);
  if (!esArchivo(copia(clave))) return borrar(ruta);
  entradas_[clave] = {{ficha->clave, ficha->id, ficha->padre, ficha->nombre, ficha->intentos,
                       ficha->ultimoFallo, false},
                      ficha->orden,
                      0};
  orden_ = std::max(orden_, ficha->orden);
}

// Moves a file into "huerfanos/", under a new name when the old one is taken there.
void Pendientes::apartar(const fs::path& ruta) const {
  const auto huerfanos = carpeta_ / "huerfanos";
  auto destino = huerfanos / ruta.filename();
  for (int n = 1; fs::exists(fs::symlink_status(destino)); ++n)
    destino = huerfanos / (ruta.filename().string() + "." + std::to_string(n));
  if (::rename(ruta.c_str(), destino.c_str()) != 0) fallaArchivo("rename", ruta);
}

}  // namespace vemlo::finder::host
