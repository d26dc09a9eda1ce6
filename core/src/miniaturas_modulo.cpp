// The module behind vemlo/miniaturas.h, loaded on the first thumbnail: images with libvips,
// which shrinks on load where the format allows it, and videos with libffmpegthumbnailer,
// which decodes one frame and scales and rotates it itself. Its three entry points are its only
// exported symbols (built with hidden visibility); miniaturas.cpp looks them up.
#include <libffmpegthumbnailer/videothumbnailerc.h>
#include <vips/vips.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "vemlo/miniaturas.h"

extern "C" {
#include <libavutil/log.h>
}

namespace vemlo {
namespace {

constexpr int lado = 400;

// libvips starts once per process; after that its calls are safe from any thread.
bool vipsListo() {
  static const bool listo = [] {
    if (VIPS_INIT("vemlo") != 0) return false;
    vips_cache_set_max(0);  // every thumbnail is made once: nothing is worth keeping
    // Damaged images are to be expected among a user's files; a missing thumbnail says enough,
    // without libvips's warnings on stderr.
    g_log_set_handler(
        "VIPS", G_LOG_LEVEL_WARNING, [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {},
        nullptr);
    return true;
  }();
  return listo;
}

std::optional<std::string> jpegDe(VipsImage* imagen) {
  void* datos = nullptr;
  std::size_t largo = 0;
  // Transparent parts turn white, as on a page, instead of jpegsave's black.
  VipsArrayDouble* blanco = vips_array_double_newv(1, 255.0);
  const int fallo = vips_jpegsave_buffer(imagen, &datos, &largo, "Q", 80, "strip", TRUE,
                                         "background", blanco, nullptr);
  vips_area_unref(VIPS_AREA(blanco));
  if (fallo != 0) return std::nullopt;
  std::string jpeg(static_cast<const char*>(datos), largo);
  g_free(datos);
  return jpeg;
}

// Set up for the frame at one second, JPEG quality 80 on the library's 0–10 scale, the longer
// side at most 400 (it keeps the aspect and applies the rotation metadata itself).
video_thumbnailer* hacedorDeVideo() {
  video_thumbnailer* hacedor = video_thumbnailer_create();
  video_thumbnailer_set_size(hacedor, lado, lado);
  hacedor->maintain_aspect_ratio = 1;
  hacedor->seek_time = const_cast<char*>("00:00:01");  // only read, and never freed by it
  hacedor->thumbnail_image_type = Jpeg;
  hacedor->thumbnail_image_quality = 8;
  hacedor->prefer_embedded_metadata = 0;
  return hacedor;
}

std::optional<std::string> deImagen(std::string_view bytes) {
  if (bytes.empty() || !vipsListo()) return std::nullopt;
  VipsImage* miniatura = nullptr;
  // libvips only reads the bytes; its C signature just lacks the const.
  void* datos = const_cast<char*>(bytes.data());
  if (vips_thumbnail_buffer(datos, bytes.size(), &miniatura, lado, "height", lado, "size",
                            VIPS_SIZE_DOWN, "fail_on", VIPS_FAIL_ON_ERROR, nullptr) != 0) {
    vips_error_clear();
    return std::nullopt;
  }
  auto jpeg = jpegDe(miniatura);
  g_object_unref(miniatura);
  if (!jpeg) vips_error_clear();
  return jpeg;
}

// Owns one reference of a libvips image.
struct Soltar {
  void operator()(VipsImage* imagen) const { g_object_unref(imagen); }
};
using Imagen = std::unique_ptr<VipsImage, Soltar>;

// Upright 8-bit sRGB with three bands, any alpha laid on white.
Imagen enRgb(Imagen imagen) {
  VipsImage* salida = nullptr;
  if (vips_image_hasalpha(imagen.get())) {
    VipsArrayDouble* blanco = vips_array_double_newv(1, 255.0);
    const int fallo = vips_flatten(imagen.get(), &salida, "background", blanco, nullptr);
    vips_area_unref(VIPS_AREA(blanco));
    if (fallo != 0) return nullptr;
    imagen.reset(salida);
  }
  if (vips_colourspace(imagen.get(), &salida, VIPS_INTERPRETATION_sRGB, nullptr) != 0)
    return nullptr;
  imagen.reset(salida);
  if (vips_cast_uchar(imagen.get(), &salida, nullptr) != 0) return nullptr;
  imagen.reset(salida);
  return imagen->Bands == 3 ? std::move(imagen) : nullptr;
}

std::optional<Pixeles> dePixeles(std::string_view bytes, int tope) {
  if (bytes.empty() || !vipsListo()) return std::nullopt;
  VipsImage* miniatura = nullptr;
  void* datos = const_cast<char*>(bytes.data());
  if (vips_thumbnail_buffer(datos, bytes.size(), &miniatura, tope, "height", tope, "size",
                            VIPS_SIZE_DOWN, "fail_on", VIPS_FAIL_ON_ERROR, nullptr) != 0) {
    vips_error_clear();
    return std::nullopt;
  }
  const auto rgb = enRgb(Imagen(miniatura));
  std::size_t largo = 0;
  void* memoria = rgb ? vips_image_write_to_memory(rgb.get(), &largo) : nullptr;
  if (!memoria) {
    vips_error_clear();
    return std::nullopt;
  }
  Pixeles pixeles{rgb->Xsize, rgb->Ysize, std::string(static_cast<const char*>(memoria), largo)};
  g_free(memoria);
  return pixeles;
}

std::optional<std::string> deVideo(const std::string& direccion) {
  // ffmpeg writes its complaints about unreadable videos to stderr; a missing thumbnail says
  // enough.
  av_log_set_level(AV_LOG_QUIET);
  video_thumbnailer* hacedor = hacedorDeVideo();
  image_data* imagen = video_thumbnailer_create_image_data();
  std::optional<std::string> jpeg;
  if (video_thumbnailer_generate_thumbnail_to_buffer(hacedor, direccion.c_str(), imagen) == 0 &&
      imagen->image_data_size > 0)
    jpeg.emplace(reinterpret_cast<const char*>(imagen->image_data_ptr), imagen->image_data_size);
  video_thumbnailer_destroy_image_data(imagen);
  video_thumbnailer_destroy(hacedor);
  return jpeg;
}

}  // namespace
}  // namespace vemlo

extern "C" [[gnu::visibility("default")]] std::optional<std::string> vemlo_miniatura_de_imagen(
    std::string_view bytes) {
  return vemlo::deImagen(bytes);
}

extern "C" [[gnu::visibility("default")]] std::optional<std::string> vemlo_miniatura_de_video(
    const std::string& direccion) {
  return vemlo::deVideo(direccion);
}

extern "C" [[gnu::visibility("default")]] std::optional<vemlo::Pixeles> vemlo_pixeles_de_imagen(
    std::string_view bytes, int lado) {
  return vemlo::dePixeles(bytes, lado);
}
