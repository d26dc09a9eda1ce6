// The index: its records, its change computation and its file.
#include "finder/indice.h"

#include <fcntl.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>

#include "vemlo/archivo.h"
#include "vemlo/json.h"
#include "vemlo/xdg.h"

namespace vemlo {
namespace finder {
namespace {

// The on-disk form as the streaming reader fills it: every key required.
struct Guardado {
  std::int64_t generacion = 0;
  Fichas fichas;
};

// A journal line: the first names the generation of the file it applies to, each other one
// record noted or one identifier removed.
struct Linea {
  std::optional<std::int64_t> base;
  std::optional<Ficha> ficha;
  std::optional<std::string> quitar;
};

}  // namespace
}  // namespace finder

// clang-format off
template <> inline constexpr auto campos<finder::Ficha> = std::tuple{
    Campo{"id", &finder::Ficha::id}, Campo{"padre", &finder::Ficha::padre},
    Campo{"nombre", &finder::Ficha::nombre}, Campo{"esCarpeta", &finder::Ficha::esCarpeta},
    Campo{"tamano", &finder::Ficha::tamano}, Campo{"fecha", &finder::Ficha::fecha},
    Campo{"editable", &finder::Ficha::editable}};
template <> inline constexpr auto campos<finder::Guardado> = std::tuple{
    Campo{"generacion", &finder::Guardado::generacion},
    Campo{"fichas", &finder::Guardado::fichas}};
template <> inline constexpr auto campos<finder::Linea> = std::tuple{
    Campo{"base", &finder::Linea::base}, Campo{"ficha", &finder::Linea::ficha},
    Campo{"quitar", &finder::Linea::quitar}};
// clang-format on

namespace finder {
namespace {

bool esAscii(const std::string& texto) {
  return std::all_of(texto.begin(), texto.end(), [](char c) { return (c & 0x80) == 0; });
}

std::string normalizado(const std::string& texto) {
  UErrorCode estado = U_ZERO_ERROR;
  const auto* nfc = icu::Normalizer2::getNFCInstance(estado);
  if (U_FAILURE(estado)) return texto;
  const auto resultado = nfc->normalize(icu::UnicodeString::fromUTF8(texto), estado);
  if (U_FAILURE(estado)) return texto;
  std::string utf8;
  return resultado.toUTF8String(utf8);
}

std::optional<std::filesystem::path> rutaDelIndice(const std::string& dominio) {
  if (!fp::isSafeFileName(dominio)) return std::nullopt;
  const auto carpeta = datosDeUsuario() / "vemlo-finder" / "Vemlo";
  std::error_code ignorado;
  std::filesystem::create_directories(carpeta, ignorado);
  return carpeta / ("indice-" + dominio + ".json");
}

// A JSON string: runs that need no escaping are copied whole.
void texto(std::string& salida, std::string_view valor) {
  static constexpr char hex[] = "0123456789abcdef";
  salida += '"';
  std::size_t desde = 0;
  for (std::size_t i = 0; i < valor.size(); ++i) {
    const auto u = static_cast<unsigned char>(valor[i]);
    if (u >= 0x20 && u != '"' && u != '\\') continue;
    salida.append(valor, desde, i - desde);
    if (u < 0x20) {
      salida.append("\\u00").append(1, hex[u >> 4]).append(1, hex[u & 15]);
    } else {
      salida.append(1, '\\').append(1, valor[i]);
    }
    desde = i + 1;
  }
  salida.append(valor, desde);
  salida += '"';
}

// The encoded size when nothing needs escaping: enough to write without growing.
std::size_t tamanoEstimado(const Fichas& fichas) {
  std::size_t total = 64;
  for (const auto& [id, f] : fichas)
    total += 2 * id.size() + f.padre.size() + f.nombre.size() + f.fecha.size() + 128;
  return total;
}

void entero(std::string& salida, std::int64_t valor) {
  char buffer[24];
  const auto fin = std::to_chars(buffer, buffer + sizeof buffer, valor).ptr;
  salida.append(buffer, fin);
}

void ficha(std::string& salida, const Ficha& f) {
  salida += "{\"id\":";
  texto(salida, f.id);
  salida += ",\"padre\":";
  texto(salida, f.padre);
  salida += ",\"nombre\":";
  texto(salida, f.nombre);
  salida += f.esCarpeta ? ",\"esCarpeta\":true,\"tamano\":" : ",\"esCarpeta\":false,\"tamano\":";
  entero(salida, f.tamano);
  salida += ",\"fecha\":";
  texto(salida, f.fecha);
  salida += f.editable ? ",\"editable\":true}" : ",\"editable\":false}";
}

// Roughly what one record takes in the file: enough to size the table before reading it.
constexpr std::size_t bytesPorFicha = 200;

// The generation written alone, beside the index, when a snapshot changed nothing.
std::filesystem::path rutaDeGeneracion(const std::filesystem::path& indice) {
  return std::filesystem::path(indice).replace_extension(".generacion");
}

std::int64_t generacionSuelta(const std::filesystem::path& indice) {
  try {
    const auto texto = leerSiHay(rutaDeGeneracion(indice));
    std::int64_t valor = 0;
    if (!texto ||
        std::from_chars(texto->data(), texto->data() + texto->size(), valor).ec != std::errc{})
      return 0;
    return valor;
  } catch (const std::filesystem::filesystem_error&) {
    return 0;
  }
}

// The journal of the records noted since the file was written, beside it.
std::filesystem::path rutaDelDiario(const std::filesystem::path& indice) {
  return std::filesystem::path(indice).replace_extension(".diario");
}

// The journal grows to the file's size (at least 1 MiB) before the file is written again.
constexpr std::uint64_t diarioMinimo = 1 << 20;

std::string cabecera(std::int64_t generacion) {
  std::string linea = "{\"base\":";
  entero(linea, generacion);
  return linea += "}\n";
}

std::string lineaDeFicha(const Ficha& f) {
  std::string linea = "{\"ficha\":";
  ficha(linea, f);
  return linea += "}\n";
}

std::string lineaDeQuitar(const std::string& id) {
  std::string linea = "{\"quitar\":";
  texto(linea, id);
  return linea += "}\n";
}

// The journal's lines after the first, applied in order; false at the first line that is cut
// short or not a line of the journal.
bool aplicarDiario(std::string_view texto, Fichas& fichas) {
  while (!texto.empty()) {
    const auto fin = texto.find('\n');
    if (fin == std::string_view::npos) return false;
    Linea linea;
    try {
      leerJson(texto.substr(0, fin), linea);
    } catch (const ErrorDecodificacion&) {
      return false;
    }
    if (linea.ficha) fichas.insert_or_assign(linea.ficha->id, std::move(*linea.ficha));
    if (linea.quitar) fichas.erase(*linea.quitar);
    if (!linea.ficha && !linea.quitar) return false;
    texto.remove_prefix(fin + 1);
  }
  return true;
}

// Whether a cut crawl left the record's folder unvisited: the folder is in the snapshot but
// was not fetched, or is an old record kept for the same reason.
bool sinVisitar(const Fichas& viejas, const Fichas& foto, const Recorte& recorte,
                const Ficha& ficha) {
  if (recorte.visitadas.contains(ficha.padre)) return false;
  if (foto.contains(ficha.padre)) return true;
  const auto padre = viejas.find(ficha.padre);
  return padre != viejas.end() && sinVisitar(viejas, foto, recorte, padre->second);
}

}  // namespace

Destino destino(const std::string& identificador, const std::string& raizId) {
  if (identificador == fp::rootContainer) return destinos::Raiz{};
  if (identificador == fp::trashContainer) return destinos::Papelera{};
  if (identificador.starts_with("a:")) return destinos::Fichero{identificador.substr(2)};
  if (!identificador.starts_with("c:")) return destinos::Carpeta{identificador};
  auto id = identificador.substr(2);
  if (id == raizId) return destinos::Raiz{};
  return destinos::Carpeta{std::move(id)};
}

std::string idDeCarpeta(const std::string& carpetaId, const std::string& raizId) {
  return carpetaId == raizId ? fp::rootContainer : "c:" + carpetaId;
}

bool antesQue(const std::string& a, const std::string& b) {
  if (esAscii(a) && esAscii(b)) return a < b;
  return normalizado(a) < normalizado(b);
}

std::string codificarGuardado(std::int64_t generacion, const Fichas& fichas) {
  std::string salida;
  salida.reserve(tamanoEstimado(fichas));
  salida += "{\"generacion\":";
  entero(salida, generacion);
  salida += ",\"fichas\":{";
  bool primera = true;
  for (const auto& [id, f] : fichas) {
    if (!primera) salida += ',';
    primera = false;
    texto(salida, id);
    salida += ':';
    ficha(salida, f);
  }
  salida += "}}";
  return salida;
}

std::optional<std::pair<std::int64_t, Fichas>> decodificarGuardado(const std::string& texto) {
  try {
    Guardado guardado;
    guardado.fichas.reserve(texto.size() / bytesPorFicha);
    leerJson(texto, guardado);
    return std::pair{guardado.generacion, std::move(guardado.fichas)};
  } catch (const ErrorDecodificacion&) {
    return std::nullopt;
  }
}

Indice::Indice(const std::string& dominio) : archivo_(rutaDelIndice(dominio)) {
  if (!archivo_) return;
  std::optional<std::string> texto;
  try {
    texto = leerSiHay(*archivo_);
  } catch (const std::filesystem::filesystem_error&) {
    return;  // unreadable: the first enumeration makes it again
  }
  if (!texto) return;
  auto guardado = decodificarGuardado(*texto);
  if (!guardado) return;
  generacionDelArchivo_ = guardado->first;
  bytesDelArchivo_ = texto->size();
  generacion_ = std::max(guardado->first, generacionSuelta(*archivo_));
  fichas_ = std::move(guardado->second);
  tieneFoto_ = true;
  leerDiario();
}

// Applies the journal when it was written over this file. One that is not (a crash between
// writing the file and starting its journal) is left to be replaced at the first note; one
// damaged part-way is folded into the file at once, since lines appended after the damage
// would never be read.
void Indice::leerDiario() {
  std::optional<std::string> texto;
  try {
    texto = leerSiHay(rutaDelDiario(*archivo_));
  } catch (const std::filesystem::filesystem_error&) {
    return;
  }
  const auto primera = cabecera(*generacionDelArchivo_);
  if (!texto || !texto->starts_with(primera)) return;
  bytesDelDiario_ = texto->size();
  if (!aplicarDiario(std::string_view(*texto).substr(primera.size()), fichas_)) grabar();
}

std::optional<Ficha> Indice::consultar(const std::string& id) const {
  std::lock_guard candado(candado_);
  const auto f = fichas_.find(id);
  if (f == fichas_.end()) return std::nullopt;
  return f->second;
}

void Indice::anotar(const std::vector<Ficha>& fichas) {
  std::lock_guard candado(candado_);
  std::string lineas;
  for (const auto& f : fichas) {
    auto [pos, nueva] = fichas_.try_emplace(f.id, f);
    if (!nueva && pos->second == f) continue;
    pos->second = f;
    lineas += lineaDeFicha(f);
  }
  if (!lineas.empty()) anexar(lineas);
}

// The old records the snapshot lacks are gone, unless a cut crawl never visited their folder:
// those go into the snapshot as they were.
std::vector<std::string> Indice::borradas(Fichas& foto, const Recorte& recorte) const {
  std::vector<std::string> ids;
  for (const auto& [id, vieja] : fichas_) {
    if (foto.contains(id)) continue;
    if (recorte.cortada && sinVisitar(fichas_, foto, recorte, vieja))
      foto.emplace(id, vieja);
    else
      ids.push_back(id);
  }
  std::sort(ids.begin(), ids.end(), antesQue);
  return ids;
}

Cambios Indice::reemplazar(Fichas foto, const Recorte& recorte) {
  Cambios cambios;
  std::lock_guard candado(candado_);
  for (const auto& [id, nueva] : foto) {
    const auto vieja = fichas_.find(id);
    if (vieja == fichas_.end() || !(vieja->second == nueva)) cambios.cambiadas.push_back(nueva);
  }
  std::sort(cambios.cambiadas.begin(), cambios.cambiadas.end(),
            [](const Ficha& a, const Ficha& b) { return antesQue(a.id, b.id); });
  cambios.borradas = borradas(foto, recorte);
  const bool igual = tieneFoto_ && cambios.cambiadas.empty() && cambios.borradas.empty();
  ++generacion_;
  tieneFoto_ = true;
  if (igual) {
    grabarGeneracion();
    return cambios;
  }
  fichas_ = std::move(foto);
  grabar();
  return cambios;
}

void Indice::quitar(const std::string& id) {
  std::lock_guard candado(candado_);
  if (fichas_.erase(id)) anexar(lineaDeQuitar(id));
}

std::vector<Ficha> Indice::todas() const {
  std::lock_guard candado(candado_);
  std::vector<Ficha> lista;
  lista.reserve(fichas_.size());
  for (const auto& [id, f] : fichas_) lista.push_back(f);
  return lista;
}

std::vector<Ficha> Indice::hijosDe(const std::string& padre) const {
  std::lock_guard candado(candado_);
  std::vector<Ficha> lista;
  for (const auto& [id, f] : fichas_)
    if (f.padre == padre && f.id != padre) lista.push_back(f);
  return lista;
}

bool Indice::tieneFoto() const {
  std::lock_guard candado(candado_);
  return tieneFoto_;
}

std::int64_t Indice::generacion() const {
  std::lock_guard candado(candado_);
  return generacion_;
}

fp::SyncAnchor Indice::ancla() const {
  return {std::to_string(generacion())};
}

// The file is a cache of what the service says: a failed write costs only a longer start.
// The old journal goes first (and durably), so that it is never applied over the new file.
void Indice::grabar() {
  if (!archivo_) return;
  bytesDelDiario_ = 0;
  try {
    const auto diario = rutaDelDiario(*archivo_);
    if (std::filesystem::remove(diario)) sincronizar(archivo_->parent_path());
    const auto texto = codificarGuardado(generacion_, fichas_);
    vemlo::reemplazar(*archivo_, texto, Durabilidad::datos);
    generacionDelArchivo_ = generacion_;
    bytesDelArchivo_ = texto.size();
    const auto primera = cabecera(generacion_);
    vemlo::reemplazar(diario, primera, Durabilidad::ninguna);
    bytesDelDiario_ = primera.size();
  } catch (const std::filesystem::filesystem_error&) {
  }
}

// Appends to the journal; without one that belongs to the file (none yet, or a failed
// append), the file is written whole instead. A journal grown past the file is folded into it.
void Indice::anexar(const std::string& lineas) {
  if (!archivo_) return;
  if (bytesDelDiario_ == 0) return grabar();
  try {
    const auto ruta = rutaDelDiario(*archivo_);
    const Descriptor fd(::open(ruta.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW));
    if (!fd)
      throw std::filesystem::filesystem_error("open", ruta,
                                              std::error_code(errno, std::generic_category()));
    escribirTodo(fd.get(), lineas, ruta);
    bytesDelDiario_ += lineas.size();
  } catch (const std::filesystem::filesystem_error&) {
    return grabar();
  }
  if (bytesDelDiario_ > std::max<std::uint64_t>(diarioMinimo, bytesDelArchivo_)) grabar();
}

// The records are on disk as they are: only the generation moved, a few bytes written durably.
void Indice::grabarGeneracion() const {
  if (!archivo_) return;
  try {
    vemlo::reemplazar(rutaDeGeneracion(*archivo_), std::to_string(generacion_), Durabilidad::datos);
  } catch (const std::filesystem::filesystem_error&) {
  }
}

}  // namespace finder
}  // namespace vemlo
