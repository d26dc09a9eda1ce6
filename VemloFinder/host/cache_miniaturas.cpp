// The thumbnail cache's files: names from GLib's URI and MD5 (so they are the ones file managers
// look for), PNGs encoded here with zlib so that their text chunks are exactly the standard's,
// and the chunks of a thumbnail already there read back before anything replaces it.
#include "cache_miniaturas.h"

#include <glib.h>
#include <sys/stat.h>
#include <zlib.h>

#include <array>
#include <cerrno>
#include <memory>
#include <system_error>

#include "vemlo/archivo.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// A thumbnail larger than this is nobody's thumbnail: it is left alone, unread.
constexpr std::uintmax_t mayorPng = 4u << 20;
constexpr std::string_view firmaPng{"\x89PNG\r\n\x1a\n", 8};

struct LiberarG {
  void operator()(gchar* texto) const { g_free(texto); }
};
using TextoG = std::unique_ptr<gchar, LiberarG>;

void agregarEntero(std::string& salida, std::uint32_t valor) {
  for (int corrimiento = 24; corrimiento >= 0; corrimiento -= 8)
    salida += static_cast<char>((valor >> corrimiento) & 0xff);
}

std::uint32_t enteroEn(const std::string& bytes, std::size_t desde) {
  std::uint32_t valor = 0;
  for (std::size_t i = 0; i < 4; ++i)
    valor = (valor << 8) | static_cast<unsigned char>(bytes[desde + i]);
  return valor;
}

void agregarTrozo(std::string& salida, std::string_view tipo, std::string_view datos) {
  agregarEntero(salida, static_cast<std::uint32_t>(datos.size()));
  const auto inicio = salida.size();
  salida.append(tipo).append(datos);
  const auto* cubierto = reinterpret_cast<const Bytef*>(salida.data() + inicio);
  agregarEntero(salida, static_cast<std::uint32_t>(
                            crc32(0, cubierto, static_cast<uInt>(salida.size() - inicio))));
}

// The rows, each after its filter byte (none), deflated.
std::string comprimido(const Pixeles& pixeles) {
  const auto fila = static_cast<std::size_t>(pixeles.ancho) * 3;
  std::string crudo;
  crudo.reserve((fila + 1) * static_cast<std::size_t>(pixeles.alto));
  for (std::size_t y = 0; y < static_cast<std::size_t>(pixeles.alto); ++y)
    crudo.append(1, '\0').append(pixeles.rgb, y * fila, fila);
  auto largo = compressBound(static_cast<uLong>(crudo.size()));
  std::string salida(largo, '\0');
  if (compress2(reinterpret_cast<Bytef*>(salida.data()), &largo,
                reinterpret_cast<const Bytef*>(crudo.data()), static_cast<uLong>(crudo.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK)
    throw std::system_error(ENOMEM, std::generic_category(), "deflate");
  salida.resize(largo);
  return salida;
}

std::string texto(const std::string& clave, const std::string& valor) {
  return clave + '\0' + valor;
}

// The folder and the missing ones above it, private to the user.
void crearCarpeta(const fs::path& carpeta) {
  if (fs::is_directory(carpeta) || carpeta == carpeta.root_path()) return;
  crearCarpeta(carpeta.parent_path());
  if (mkdir(carpeta.c_str(), 0700) != 0 && errno != EEXIST)
    throw std::system_error(errno, std::generic_category(), "mkdir " + carpeta.string());
}

std::optional<std::int64_t> numero(const std::map<std::string, std::string>& textos,
                                   const std::string& clave) {
  const auto valor = textos.find(clave);
  if (valor == textos.end()) return std::nullopt;
  try {
    std::size_t usado = 0;
    const auto n = std::stoll(valor->second, &usado);
    return usado == valor->second.size() ? std::optional(n) : std::nullopt;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::string uriDe(const fs::path& ruta) {
  const TextoG uri(g_filename_to_uri(ruta.c_str(), nullptr, nullptr));
  return uri ? std::string(uri.get()) : std::string();
}

std::string pngDe(const Pixeles& pixeles, const Origen& origen) {
  std::string cabecera;
  agregarEntero(cabecera, static_cast<std::uint32_t>(pixeles.ancho));
  agregarEntero(cabecera, static_cast<std::uint32_t>(pixeles.alto));
  cabecera.append({'\x08', '\x02', '\0', '\0', '\0'});  // 8-bit RGB, deflate, no interlace
  std::string png(firmaPng);
  agregarTrozo(png, "IHDR", cabecera);
  agregarTrozo(png, "tEXt", texto("Thumb::URI", origen.uri));
  agregarTrozo(png, "tEXt", texto("Thumb::MTime", std::to_string(origen.mtime)));
  agregarTrozo(png, "tEXt", texto("Thumb::Size", std::to_string(origen.tamano)));
  agregarTrozo(png, "tEXt", texto("Software", "vemlo-finder"));
  agregarTrozo(png, "IDAT", comprimido(pixeles));
  agregarTrozo(png, "IEND", {});
  return png;
}

std::optional<std::map<std::string, std::string>> textosDePng(const std::string& png) {
  if (!png.starts_with(firmaPng)) return std::nullopt;
  std::map<std::string, std::string> textos;
  for (std::size_t i = firmaPng.size(); i + 12 <= png.size();) {
    const std::size_t largo = enteroEn(png, i);
    if (largo > png.size() - i - 12) return std::nullopt;
    const auto tipo = png.substr(i + 4, 4);
    const auto datos = png.substr(i + 8, largo);
    if (tipo == "IEND") return textos;
    const auto corte = datos.find('\0');
    if (tipo == "tEXt" && corte != std::string::npos)
      textos.emplace(datos.substr(0, corte), datos.substr(corte + 1));
    i += largo + 12;
  }
  return std::nullopt;  // cut before its end
}

CacheMiniaturas::CacheMiniaturas(fs::path carpeta) : carpeta_(std::move(carpeta)) {}

fs::path CacheMiniaturas::ruta(const Medida& medida, const std::string& uri) const {
  const TextoG md5(
      g_compute_checksum_for_string(G_CHECKSUM_MD5, uri.data(), static_cast<gssize>(uri.size())));
  return carpeta_ / medida.carpeta / (std::string(md5.get()) + ".png");
}

CacheMiniaturas::Situacion CacheMiniaturas::situacion(const Medida& medida,
                                                      const Origen& origen) const {
  const auto archivo = ruta(medida, origen.uri);
  std::error_code error;
  const auto estado = fs::symlink_status(archivo, error);
  if (error || estado.type() == fs::file_type::not_found) return Situacion::falta;
  if (estado.type() != fs::file_type::regular || fs::file_size(archivo, error) > mayorPng || error)
    return Situacion::ajena;
  std::optional<std::map<std::string, std::string>> textos;
  try {
    const auto bytes = leerSiHay(archivo);
    if (!bytes) return Situacion::falta;
    textos = textosDePng(*bytes);
  } catch (const fs::filesystem_error&) {
    return Situacion::ajena;
  }
  if (!textos || !textos->contains("Thumb::URI") || textos->at("Thumb::URI") != origen.uri)
    return Situacion::ajena;
  const auto tamano = numero(*textos, "Thumb::Size");
  const bool mismo = numero(*textos, "Thumb::MTime") == origen.mtime &&
                     (!textos->contains("Thumb::Size") || tamano == origen.tamano);
  return mismo ? Situacion::alDia : Situacion::vieja;
}

void CacheMiniaturas::escribir(const Medida& medida, const std::string& uri,
                               const std::string& png) const {
  const auto destino = ruta(medida, uri);
  crearCarpeta(destino.parent_path());
  reemplazar(destino, png, Durabilidad::ninguna, 0600);
}

}  // namespace vemlo::finder::host
