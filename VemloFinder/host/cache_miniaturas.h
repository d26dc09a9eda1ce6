// CacheMiniaturas: the user's freedesktop thumbnail cache ($XDG_CACHE_HOME/thumbnails), as file
// managers read it: one PNG per file and size, named by the MD5 of the file's URI, saying in
// its Thumb::URI, Thumb::MTime and Thumb::Size text chunks which file, at which modification
// time and size, it shows. The cache is the user's: thumbnails are written whole or not at all,
// private to the user, and one made for another file is never replaced.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "vemlo/miniaturas.h"

namespace vemlo::finder::host {

// A size of thumbnails: its folder in the cache and the longest side of its pictures.
struct Medida {
  const char* carpeta;
  int lado;
};
inline constexpr Medida medidaNormal{"normal", 128};
inline constexpr Medida medidaGrande{"large", 256};

// The file a thumbnail shows, as stat shows it.
struct Origen {
  std::string uri;
  std::int64_t mtime = 0;  // whole seconds
  std::int64_t tamano = 0;
};

// The URI of the file at the absolute `ruta`, escaped as GLib escapes it ("file://" and the
// path with every byte outside a small safe set percent-encoded).
std::string uriDe(const std::filesystem::path& ruta);

// A PNG of `pixeles` with these Thumb:: text chunks.
std::string pngDe(const Pixeles& pixeles, const Origen& origen);

class CacheMiniaturas {
 public:
  explicit CacheMiniaturas(std::filesystem::path carpeta);

  enum class Situacion {
    falta,  // no thumbnail for that URI
    vieja,  // one for that URI, of another time or size
    alDia,  // one for that file as it is
    ajena,  // the file there is not ours to replace (another URI, or unreadable)
  };
  Situacion situacion(const Medida& medida, const Origen& origen) const;
  // Where the thumbnail of `uri` in that size is.
  std::filesystem::path ruta(const Medida& medida, const std::string& uri) const;
  // Puts the PNG in place through a private temporary file in the same folder (made, 0700,
  // when missing). Fails with std::system_error; nothing is left behind then.
  void escribir(const Medida& medida, const std::string& uri, const std::string& png) const;

 private:
  std::filesystem::path carpeta_;
};

// The text chunks ("tEXt") of a PNG, keyword to text; nothing when `png` is not a PNG.
std::optional<std::map<std::string, std::string>> textosDePng(const std::string& png);

}  // namespace vemlo::finder::host
