// Thumbnails of the Vemlo folder's pictures: once a folder is listed through the mount, the
// user's thumbnail cache holds them as GLib checks them (`gio info`), made from the service's
// thumbnails, without a byte of the files' contents downloaded.
#include <glib.h>
#include <vips/vips.h>

#include <array>
#include <map>
#include <regex>

#include "carpeta.h"

namespace vemlo::finder::host::pruebas {
namespace {

namespace fs = std::filesystem;

// libvips, without its cache of opened files: a thumbnail read again must be read again.
void iniciarVips() {
  static const bool listo = [] {
    if (VIPS_INIT("miniaturas_test") != 0) return false;
    vips_cache_set_max(0);
    return true;
  }();
  if (!listo) throw std::runtime_error("libvips");
}

// A picture of noise, `ancho`×`alto`, encoded as `formato` (".jpg" or ".png").
std::string foto(int ancho, int alto, const char* formato) {
  iniciarVips();
  VipsImage* ruido = nullptr;
  VipsImage* bytes = nullptr;
  VipsImage* color = nullptr;
  if (vips_gaussnoise(&ruido, ancho, alto, "mean", 128.0, "sigma", 40.0, nullptr) != 0 ||
      vips_cast_uchar(ruido, &bytes, nullptr) != 0 ||
      vips_bandjoin(std::array{bytes, bytes, bytes}.data(), &color, 3, nullptr) != 0)
    throw std::runtime_error(vips_error_buffer());
  void* datos = nullptr;
  std::size_t largo = 0;
  if (vips_image_write_to_buffer(color, formato, &datos, &largo, nullptr) != 0)
    throw std::runtime_error(vips_error_buffer());
  std::string salida(static_cast<const char*>(datos), largo);
  g_free(datos);
  for (auto* imagen : {ruido, bytes, color}) g_object_unref(imagen);
  return salida;
}

// A PNG as libvips decodes it: its size and text chunks.
struct Png {
  int ancho = 0;
  int alto = 0;
  std::map<std::string, std::string> textos;
};

std::optional<Png> abrirPng(const fs::path& ruta) {
  iniciarVips();
  VipsImage* imagen = vips_image_new_from_file(ruta.c_str(), nullptr);
  if (!imagen) return std::nullopt;
  Png png{vips_image_get_width(imagen), vips_image_get_height(imagen), {}};
  gchar** campos = vips_image_get_fields(imagen);
  // libvips names them "png-comment-N-KEYWORD".
  const std::regex comentario("png-comment-[0-9]+-(.*)");
  for (auto** campo = campos; *campo; ++campo) {
    std::cmatch partes;
    const char* valor = nullptr;
    if (std::regex_match(*campo, partes, comentario) &&
        vips_image_get_string(imagen, *campo, &valor) == 0)
      png.textos[partes[1]] = valor;
  }
  g_strfreev(campos);
  g_object_unref(imagen);
  return png;
}

std::string citado(const std::string& texto) {
  return "'" + std::regex_replace(texto, std::regex("'"), "'\\''") + "'";
}

// What GLib says of a file's thumbnail (file managers on GLib ask exactly this).
struct Vista {
  std::string ruta;
  bool valida = false;
};

// The URI and the thumbnail file name of a path, as GLib computes them.
std::string uriDeGlib(const fs::path& ruta) {
  gchar* uri = g_filename_to_uri(ruta.c_str(), nullptr, nullptr);
  std::string salida = uri ? uri : "";
  g_free(uri);
  return salida;
}

std::string nombreDeMiniatura(const std::string& uri) {
  gchar* md5 = g_compute_checksum_for_string(G_CHECKSUM_MD5, uri.c_str(), -1);
  std::string salida = std::string(md5) + ".png";
  g_free(md5);
  return salida;
}

class Miniaturas : public Carpeta {
 protected:
  void SetUp() override {
    Carpeta::SetUp();
    if (IsSkipped()) return;
    if (sh("command -v gio", ".").estado != 0) GTEST_SKIP() << "gio (libglib2.0-bin) is missing";
    const auto raiz = demo->carpeta(empresa("Acme").carpetaRaizId);
    fotos = idCarpeta(raiz, "Fotos");
  }

  fs::path cache() const { return fs::path(std::getenv("XDG_CACHE_HOME")) / "thumbnails"; }

  Vista vista(const std::string& ruta) const {
    const auto salida =
        enMontaje("gio info -a thumbnail::path,thumbnail::is-valid " + citado(ruta)).texto;
    Vista v;
    std::smatch partes;
    if (std::regex_search(salida, partes, std::regex("thumbnail::path: ([^\n]*)")))
      v.ruta = partes[1];
    v.valida = salida.find("thumbnail::is-valid: TRUE") != std::string::npos;
    return v;
  }

  // Waits until GLib finds a valid thumbnail of the file, and gives its path.
  std::string valida(const std::string& ruta) const {
    std::string hallada;
    esperar([&] {
      const auto v = vista(ruta);
      hallada = v.valida ? v.ruta : "";
      return v.valida;
    });
    return hallada;
  }

  std::int64_t mtime(const std::string& ruta) const {
    return std::stoll(enMontaje("stat -c %Y " + citado(ruta)).texto);
  }

  // Both sizes of the file's thumbnail: decodable PNGs fitting their box, saying this file.
  void comprobar(const std::string& ruta) const {
    SCOPED_TRACE(ruta);
    const auto hallada = valida(ruta);
    ASSERT_NE(hallada, "");
    const auto uri = uriDeGlib(punto() / ruta);
    // GLib looks in one of the two folders, the one it prefers (its version decides).
    EXPECT_TRUE(hallada == (cache() / "large" / nombreDeMiniatura(uri)).string() ||
                hallada == (cache() / "normal" / nombreDeMiniatura(uri)).string())
        << hallada;
    for (const auto& [carpeta, lado] : {std::pair{"large", 256}, std::pair{"normal", 128}}) {
      const auto archivo = cache() / carpeta / nombreDeMiniatura(uri);
      const auto segundos = std::to_string(mtime(ruta));
      std::optional<Png> png;
      esperar([&] {
        png = abrirPng(archivo);
        return png && png->textos["Thumb::MTime"] == segundos;
      });
      ASSERT_TRUE(png) << archivo;
      EXPECT_EQ(std::max(png->ancho, png->alto), lado) << archivo;
      EXPECT_EQ(png->textos["Thumb::URI"], uri);
      EXPECT_EQ(png->textos["Thumb::MTime"], segundos);
      EXPECT_EQ(fs::status(archivo).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_EQ(fs::status(cache() / "large").permissions(), fs::perms::owner_all);
  }

  std::string fotos;
};

TEST_F(Miniaturas, AlListarSinDescargarNada) {
  const std::vector<std::pair<std::string, std::string>> subidas{
      {"paisaje.jpg", foto(1200, 800, ".jpg")},
      {"retrato.jpg", foto(500, 1000, ".jpg")},
      {"plano.png", foto(900, 900, ".png")},
  };
  for (const auto& [nombre, bytes] : subidas)
    subir(*demo, fotos, nombre, bytes, nombre.ends_with(".png") ? "image/png" : "image/jpeg");
  borrarRegistro(servicio->base());
  ASSERT_EQ(enMontaje("ls Fotos").estado, 0);
  for (const auto& [nombre, bytes] : subidas) comprobar("Fotos/" + nombre);
  EXPECT_EQ(pedidos(servicio->base(), "GET", "/v1/archivos/"), subidas.size() + 2);  // + demo's
  EXPECT_EQ(pedidos(servicio->base(), "POST", "/v1/descargas"), 0u);
  EXPECT_EQ(pedidos(servicio->base(), "GET", "/almacen/"), 0u);
}

// Names are never part of a thumbnail's path: whatever they hold, every file in the cache is
// an MD5 name in one of its two folders, and GLib finds each picture's thumbnail.
TEST_F(Miniaturas, NombresRarosNoSalenDeLaCache) {
  const std::vector<std::string> nombres{
      "..jpg",        "...jpg",           "..%2F..%2Fhuida.jpg",
      "a\\..\\b.jpg", "ñandú 😀 #?&=.jpg", "-n 'comillas' \"dobles\".jpg",
      "%00nulo.jpg",  " espacio .jpg",    "∕barra∕unicode.jpg"};
  const auto bytes = foto(600, 400, ".jpg");
  for (const auto& nombre : nombres) subir(*demo, fotos, nombre, bytes, "image/jpeg");
  ASSERT_EQ(enMontaje("ls Fotos").estado, 0);
  for (const auto& nombre : nombres) comprobar("Fotos/" + nombre);
  const std::regex md5("[0-9a-f]{32}\\.png");
  const fs::path raiz = std::getenv("XDG_CACHE_HOME");
  for (const auto& entrada : fs::recursive_directory_iterator(raiz)) {
    const auto relativa = entrada.path().lexically_relative(raiz);
    if (entrada.is_directory() || !relativa.string().starts_with("thumbnails")) continue;
    EXPECT_TRUE(relativa.parent_path() == "thumbnails/large" ||
                relativa.parent_path() == "thumbnails/normal")
        << relativa;
    EXPECT_TRUE(std::regex_match(relativa.filename().string(), md5)) << relativa;
  }
}

// A thumbnail under a file's name made for another URI stays as it is; a new version of a
// file gets a new thumbnail as soon as the change is known, and one already current costs no
// request.
TEST_F(Miniaturas, RespetaLoAjenoYRenuevaLoViejo) {
  subir(*demo, fotos, "vieja.jpg", foto(800, 600, ".jpg"), "image/jpeg");
  ASSERT_EQ(enMontaje("ls Fotos").estado, 0);
  comprobar("Fotos/vieja.jpg");
  const auto deVieja = nombreDeMiniatura(uriDeGlib(punto() / "Fotos/vieja.jpg"));
  const auto deAjena = nombreDeMiniatura(uriDeGlib(punto() / "Fotos/ajena.jpg"));
  fs::copy_file(cache() / "large" / deVieja, cache() / "large" / deAjena);
  const auto otra = leer(cache() / "large" / deAjena);

  subir(*demo, fotos, "ajena.jpg", foto(800, 600, ".jpg"), "image/jpeg");
  subir(*demo, fotos, "vieja.jpg", foto(300, 800, ".jpg"), "image/jpeg");  // a new version
  EXPECT_EQ(pedir("--senal " + empresa("Acme").id), "");
  // The new picture's (its time may be the same second as the old one's; its size is not).
  EXPECT_TRUE(esperar([&] {
    const auto png = abrirPng(cache() / "large" / deVieja);
    return png && png->ancho < png->alto;
  }));
  comprobar("Fotos/vieja.jpg");
  ASSERT_TRUE(esperar([&] { return fs::exists(cache() / "normal" / deAjena); }));
  EXPECT_EQ(leer(cache() / "large" / deAjena), otra);

  // A new host lists everything again; the worker takes the folder's files in name order, so
  // once the last one's thumbnail is there every other one was looked at.
  detenerHost();
  subir(*demo, fotos, "zz-testigo.jpg", foto(400, 400, ".jpg"), "image/jpeg");
  arrancarHost();
  borrarRegistro(servicio->base());
  ASSERT_EQ(enMontaje("ls Fotos").estado, 0);
  comprobar("Fotos/zz-testigo.jpg");
  EXPECT_EQ(pedidos(servicio->base(), "GET", "/v1/archivos/"), 1u);
  EXPECT_EQ(leer(cache() / "large" / deAjena), otra);
}

}  // namespace
}  // namespace vemlo::finder::host::pruebas
