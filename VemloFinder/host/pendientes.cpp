// The staging store on disk: "copias/<clave>" holds an entry's bytes and the journal "diario"
// its facts, one JSON line per record written (a whole record, or {"quitar": clave}); the
// last line of a clave decides. An entry exists once its record does, and a record reaches
// the journal only after its copy reached the disk. Each start folds the journal into a
// fresh one. Bytes without a usable record go to "huerfanos/": they are the user's. Earlier
// versions kept one file per record in "registros/": those are read once and folded in.
#include "pendientes.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
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
  std::optional<std::string> bytes;  // a small copy's bytes, base64
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
               Campo{"orden", &Ficha::orden},       Campo{"bytes", &Ficha::bytes}};
}  // namespace vemlo

namespace vemlo::finder::host {
namespace {

[[noreturn]] void fallaArchivo(const char* que, const fs::path& ruta) {
  throw fs::filesystem_error(que, ruta, {errno, std::generic_category()});
}

// The journal grows by a line per change and is folded again past twice what its live records
// take and this much.
constexpr std::uint64_t holguraDiario = 1 << 20;
// Copies up to this size travel in their record: one sync for both.
constexpr std::int64_t copiaPequena = 64 << 10;
constexpr char alfabeto[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string aBase64(std::string_view bytes) {
  std::string texto;
  texto.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const auto resto = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t grupo = 0;
    for (std::size_t j = 0; j < 3; ++j)
      grupo = grupo << 8 | (j < resto ? static_cast<unsigned char>(bytes[i + j]) : 0u);
    for (std::size_t j = 0; j < 4; ++j)
      texto.push_back(j <= resto ? alfabeto[(grupo >> (18 - 6 * j)) & 63] : '=');
  }
  return texto;
}

// Nothing when `texto` is not what aBase64 writes.
std::optional<std::string> desdeBase64(std::string_view texto) {
  if (texto.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  for (std::size_t i = 0; i < texto.size(); i += 4) {
    std::uint32_t grupo = 0;
    int relleno = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = texto[i + j];
      const char* const donde = c == '=' ? nullptr : std::strchr(alfabeto, c);
      if ((c == '=' && (i + 4 < texto.size() || j < 2)) || (c != '=' && (!donde || !c || relleno)))
        return std::nullopt;
      relleno += c == '=';
      grupo = grupo << 6 | static_cast<std::uint32_t>(donde ? donde - alfabeto : 0);
    }
    for (int j = 0; j < 3 - relleno; ++j) bytes.push_back(static_cast<char>(grupo >> (16 - 8 * j)));
  }
  return bytes;
}

// The file's bytes when it is small enough to travel in its record.
std::optional<std::string> siEsPequena(const fs::path& copia) {
  const Descriptor fd(::open(copia.c_str(), O_RDONLY | O_CLOEXEC));
  struct stat datos {};
  if (!fd || ::fstat(fd.get(), &datos) != 0 || datos.st_size > copiaPequena) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(datos.st_size), '\0');
  const auto leidos = ::pread(fd.get(), bytes.data(), bytes.size(), 0);
  if (leidos < 0) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(leidos));
  return bytes;
}

void crearCarpeta(const fs::path& carpeta) {
  if (carpeta.has_parent_path()) fs::create_directories(carpeta.parent_path());
  if (::mkdir(carpeta.c_str(), 0700) != 0 && errno != EEXIST) fallaArchivo("mkdir", carpeta);
}

// Creates the store's folders; the journal's path.
fs::path prepararCarpeta(const fs::path& carpeta) {
  crearCarpeta(carpeta);
  for (const char* parte : {"copias", "huerfanos"}) crearCarpeta(carpeta / parte);
  return carpeta / "diario";
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

// The record in `json` when it is one, with a clave of the store's shape.
std::optional<Ficha> fichaDe(const nlohmann::json& json) {
  if (json.is_discarded()) return std::nullopt;
  try {
    auto ficha = desdeJson<Ficha>(json);
    if (!esClave(ficha.clave)) return std::nullopt;
    return ficha;
  } catch (const ErrorDecodificacion&) {
    return std::nullopt;
  }
}

Pendiente pendienteDe(const Ficha& f) {
  return {f.clave, f.id, f.padre, f.nombre, f.intentos, f.ultimoFallo, false};
}

std::string lineaDe(const Pendiente& p, std::int64_t orden,
                    const std::optional<std::string>& bytes) {
  const Ficha ficha{
      p.clave,    p.id,          p.padre, p.nombre,
      p.intentos, p.ultimoFallo, orden,   bytes ? std::optional(aBase64(*bytes)) : std::nullopt};
  return aJson(ficha).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string lineaQuitar(const std::string& clave) {
  return nlohmann::json{{"quitar", clave}}.dump();
}

}  // namespace

Pendientes::Pendientes(fs::path carpeta)
    : carpeta_(std::move(carpeta)), diario_(prepararCarpeta(carpeta_), carpeta_ / "copias") {
  leerRegistrosViejos();
  for (const auto& linea : Diario::leer(carpeta_ / "diario")) aplicar(linea);
  restaurarCopias();
  std::erase_if(entradas_, [&](const auto& entrada) { return !esArchivo(copia(entrada.first)); });
  std::vector<fs::path> copias;
  for (const auto& elemento : fs::directory_iterator(carpeta_ / "copias"))
    if (!entradas_.contains(elemento.path().filename().string())) copias.push_back(elemento.path());
  for (const auto& ruta : copias) apartar(ruta);
  diario_.esperar(diario_.reescribir(lineasVivas()));
  // Folded into the journal now: the old records can go.
  fs::remove_all(carpeta_ / "registros");
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
  esperar(registrar(pendiente));
}

Pendientes::Turno Pendientes::registrar(const Pendiente& pendiente) {
  validar(pendiente);
  auto bytes = siEsPequena(copia(pendiente.clave));
  std::lock_guard candado(candado_);
  const auto existente = entradas_.find(pendiente.clave);
  const bool hay = existente != entradas_.end();
  const auto orden = hay ? existente->second.orden : orden_ + 1;
  orden_ = std::max(orden_, orden);
  auto& entrada = entradas_[pendiente.clave];
  entrada.datos = pendiente;
  entrada.orden = orden;
  entrada.cambios = hay ? entrada.cambios + 1 : 1;
  entrada.bytes = std::move(bytes);
  auto linea = lineaDeEntrada(entrada);
  if (entrada.bytes) return diario_.anotarDuradero(std::move(linea), std::nullopt);
  return diario_.anotarDuradero(std::move(linea), copia(pendiente.clave));
}

void Pendientes::esperar(Turno turno) {
  diario_.esperar(turno);
}

void Pendientes::actualizar(const Pendiente& pendiente) {
  validar(pendiente);
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(pendiente.clave);
  if (entrada == entradas_.end())
    throw std::out_of_range("no hay un pendiente con la clave " + pendiente.clave);
  entrada->second.datos = pendiente;
  diario_.anotar(lineaDeEntrada(entrada->second));
}

void Pendientes::anotarId(const std::string& clave, const std::string& id) {
  std::lock_guard candado(candado_);
  const auto entrada = entradas_.find(clave);
  if (entrada == entradas_.end() || !entrada->second.datos.id.empty()) return;
  auto datos = entrada->second.datos;
  datos.id = id;
  validar(datos);
  entrada->second.datos = datos;
  diario_.anotar(lineaDeEntrada(entrada->second));
}

void Pendientes::quitar(const std::string& clave) {
  std::lock_guard candado(candado_);
  if (!olvidarEntrada(clave)) return;
  // A stop before the line is written leaves a record without copy, which is dropped.
  diario_.anotar(lineaQuitar(clave));
  borrar(copia(clave));
  compactarSiCrecio();
}

void Pendientes::quitarRegistro(const std::string& clave) {
  std::lock_guard candado(candado_);
  if (!olvidarEntrada(clave)) return;
  diario_.anotar(lineaQuitar(clave));
  compactarSiCrecio();
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

std::vector<std::string> Pendientes::lineasVivas() {
  std::vector<std::string> lineas;
  vivos_ = 0;
  for (auto& [clave, entrada] : entradas_) {
    entrada.largo = 0;
    lineas.push_back(lineaDeEntrada(entrada));
  }
  return lineas;
}

// The entry's record as it stands; what its live records take follows it.
std::string Pendientes::lineaDeEntrada(Entrada& entrada) {
  auto linea = lineaDe(entrada.datos, entrada.orden, entrada.bytes);
  vivos_ = vivos_ - entrada.largo + linea.size() + 1;
  entrada.largo = linea.size() + 1;
  return linea;
}

bool Pendientes::olvidarEntrada(const std::string& clave) {
  const auto entrada = entradas_.find(clave);
  if (entrada == entradas_.end()) return false;
  vivos_ -= entrada->second.largo;
  entradas_.erase(entrada);
  return true;
}

// Past twice what the live records take, and some slack, the journal is written again: each
// line costs a constant share of the rewrites.
void Pendientes::compactarSiCrecio() {
  if (diario_.bytes() > 2 * vivos_ + holguraDiario) diario_.reescribir(lineasVivas());
}

// The per-entry records of earlier versions, when there are any.
void Pendientes::leerRegistrosViejos() {
  const auto carpeta = carpeta_ / "registros";
  if (!fs::is_directory(fs::symlink_status(carpeta))) return;
  std::vector<fs::path> registros;
  for (const auto& elemento : fs::directory_iterator(carpeta))
    if (!elemento.is_directory()) registros.push_back(elemento.path());
  for (const auto& ruta : registros) leerRegistro(ruta);
}

void Pendientes::aplicar(const std::string& linea) {
  const auto json = nlohmann::json::parse(linea, nullptr, false);
  if (json.is_object() && json.contains("quitar") && json["quitar"].is_string())
    return static_cast<void>(entradas_.erase(json["quitar"].get<std::string>()));
  // A damaged line is skipped: its copy is kept aside as one without record.
  const auto ficha = fichaDe(json);
  if (!ficha) return;
  auto bytes = ficha->bytes ? desdeBase64(*ficha->bytes) : std::nullopt;
  if (ficha->bytes && !bytes) return;
  tomar(pendienteDe(*ficha), ficha->orden, std::move(bytes));
}

void Pendientes::tomar(Pendiente datos, std::int64_t orden, std::optional<std::string> bytes) {
  const auto clave = datos.clave;
  entradas_[clave] = {std::move(datos), orden, 0, std::move(bytes)};
  orden_ = std::max(orden_, orden);
}

// The small copies are written again from their records, and synced: a crash may have lost
// them. From then on the records need not carry them.
void Pendientes::restaurarCopias() {
  bool alguna = false;
  for (auto& [clave, entrada] : entradas_) {
    if (!entrada.bytes) continue;
    const Descriptor fd(
        ::open(copia(clave).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd) fallaArchivo("open", copia(clave));
    escribirTodo(fd.get(), *entrada.bytes, copia(clave));
    if (::fdatasync(fd.get()) != 0) fallaArchivo("fdatasync", copia(clave));
    entrada.bytes.reset();
    alguna = true;
  }
  if (alguna) sincronizar(carpeta_ / "copias");
}

// Takes in one old record at start: a whole record becomes an entry; a temporary one never
// renamed into place is skipped; any other file is set aside (its copy follows, as a copy
// without record).
void Pendientes::leerRegistro(const fs::path& ruta) {
  if (ruta.filename().string().starts_with(".")) return;
  const auto clave = ruta.stem().string();
  const auto ficha = ruta.extension() == ".json" && esClave(clave)
                         ? fichaDe(nlohmann::json::parse(leerTodo(ruta), nullptr, false))
                         : std::nullopt;
  if (!ficha || ficha->clave != clave) return apartar(ruta);
  tomar(pendienteDe(*ficha), ficha->orden, std::nullopt);
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
