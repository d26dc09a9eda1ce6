// libvips behind three calls. Thumbnails shrink on load where the format allows, so large
// photos do not have to be decoded at full size.
#include "miniaturas.h"

#include <glib.h>
#include <vips/vips8>

#include "almacen.h"

namespace vemlo::servicio {
namespace {

constexpr int ladoMiniatura = 400;

std::string bytesDe(const vips::VImage& imagen, const std::string& extension) {
  void* datos = nullptr;
  std::size_t largo = 0;
  imagen.write_to_buffer(extension.c_str(), &datos, &largo);
  std::string bytes(static_cast<const char*>(datos), largo);
  g_free(datos);
  return bytes;
}

}  // namespace

void iniciarVips(const char* programa) {
  if (VIPS_INIT(programa) != 0) throw std::runtime_error("libvips no arrancó");
  vips_cache_set_max(0);
  vips_concurrency_set(1);
}

void cerrarVips() {
  vips_shutdown();
}

std::optional<std::string> hacerMiniatura(const std::string& blobId, const std::string& tipo) {
  if (tipo.rfind("image/", 0) != 0) return std::nullopt;
  try {
    const auto miniatura = vips::VImage::thumbnail(
        rutaBlob(blobId).c_str(), ladoMiniatura,
        vips::VImage::option()->set("height", ladoMiniatura)->set("fail_on", VIPS_FAIL_ON_ERROR));
    const auto plana = miniatura.has_alpha() ? miniatura.flatten() : miniatura;
    return guardarBlob(bytesDe(plana, ".jpg[Q=80]"));
  } catch (const vips::VError&) {
    return std::nullopt;
  }
}

std::string imagenDeMuestra(int ancho, int alto, const std::string& extension) {
  const auto x = vips::VImage::xyz(ancho, alto);
  const auto horizontal = x[0] * (255.0 / ancho);
  const auto vertical = x[1] * (255.0 / alto);
  const auto centro = ((x[0] - ancho * 0.7).pow(2) + (x[1] - alto * 0.3).pow(2)).pow(0.5);
  const auto sol = (centro < alto * 0.15).ifthenelse(255.0, 0.0);
  auto rgb = vertical.bandjoin(horizontal * 0.6 + sol * 0.4).bandjoin(255.0 - vertical * 0.5);
  rgb = rgb.cast(VIPS_FORMAT_UCHAR)
            .copy(vips::VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB));
  return bytesDe(rgb, extension);
}

}  // namespace vemlo::servicio
