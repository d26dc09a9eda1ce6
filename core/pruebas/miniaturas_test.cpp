// Local thumbnails of images and videos generated here (libvips and the ffmpeg command): their
// size and orientation, the JPEG they come out as, and nothing for what does not decode, from
// a file, a loopback http server or nowhere.
#include <gtest/gtest.h>
#include <vips/vips.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "servidor_prueba.h"
#include "vemlo/archivo.h"
#include "vemlo/miniaturas.h"

namespace vemlo {
namespace {

namespace fs = std::filesystem;

struct Medida {
  int ancho;
  int alto;
  bool operator==(const Medida&) const = default;
  friend void PrintTo(const Medida& m, std::ostream* os) { *os << m.ancho << "×" << m.alto; }
};

// A JPEG of an `ancho`×`alto` pattern that says it is to be shown turned by EXIF `orientacion`.
std::string foto(int ancho, int alto, int orientacion) {
  if (VIPS_INIT("core_pruebas") != 0) return {};
  std::vector<unsigned char> pixeles(static_cast<std::size_t>(ancho) * alto * 3);
  for (std::size_t i = 0; i < pixeles.size(); ++i) pixeles[i] = static_cast<unsigned char>(i % 251);
  VipsImage* imagen = vips_image_new_from_memory_copy(pixeles.data(), pixeles.size(), ancho, alto,
                                                      3, VIPS_FORMAT_UCHAR);
  vips_image_set_int(imagen, VIPS_META_ORIENTATION, orientacion);
  void* datos = nullptr;
  std::size_t largo = 0;
  vips_jpegsave_buffer(imagen, &datos, &largo, nullptr);
  g_object_unref(imagen);
  std::string bytes(static_cast<const char*>(datos), largo);
  g_free(datos);
  return bytes;
}

// The size of a JPEG as libvips reads it; {0, 0} for anything else.
Medida medidaDeJpeg(const std::optional<std::string>& jpeg) {
  if (!jpeg || jpeg->rfind("\xFF\xD8\xFF", 0) != 0) return {0, 0};
  VipsImage* imagen = vips_image_new_from_buffer(jpeg->data(), jpeg->size(), "", nullptr);
  if (!imagen) return {0, 0};
  const Medida medida{vips_image_get_width(imagen), vips_image_get_height(imagen)};
  g_object_unref(imagen);
  return medida;
}

struct FilaImagen {
  std::string nombre;
  Medida original;
  int orientacion;
  Medida esperada;
};

class MiniaturaDeImagen : public testing::TestWithParam<FilaImagen> {};

TEST_P(MiniaturaDeImagen, CabeEn400Derecha) {
  const auto& f = GetParam();
  const auto original = foto(f.original.ancho, f.original.alto, f.orientacion);
  EXPECT_EQ(medidaDeJpeg(miniaturaDeImagen(original)), f.esperada);
}

INSTANTIATE_TEST_SUITE_P(Miniaturas, MiniaturaDeImagen,
                         testing::Values(FilaImagen{"Grande", {1200, 800}, 1, {400, 267}},
                                         FilaImagen{"PequenaNoCrece", {100, 50}, 1, {100, 50}},
                                         FilaImagen{"GiradaPorExif", {800, 400}, 6, {200, 400}}),
                         pruebas::porNombre);

TEST(Miniaturas, ImagenesDesdeVariosHilos) {
  const auto original = foto(1200, 800, 1);
  std::vector<Medida> medidas(8);
  {
    std::vector<std::jthread> hilos;
    for (auto& m : medidas)
      hilos.emplace_back([&] { m = medidaDeJpeg(miniaturaDeImagen(original)); });
  }
  EXPECT_EQ(medidas, std::vector<Medida>(8, Medida{400, 267}));
}

// A test-pattern video made by ffmpeg in HOME, with `giro` degrees of display rotation in its
// metadata (ffmpeg keeps that tag only when copying, hence the second pass).
std::string video(Medida medida, double segundos, int giro = 0) {
  const auto crudo = (pruebas::casa() / "crudo.mp4").string();
  const auto hecho = (pruebas::casa() / "video.mp4").string();
  const auto orden = "ffmpeg -v error -y -f lavfi -i testsrc=duration=" + std::to_string(segundos) +
                     ":size=" + std::to_string(medida.ancho) + "x" + std::to_string(medida.alto) +
                     ":rate=10 -pix_fmt yuv420p " + crudo + " && ffmpeg -v error -y -i " + crudo +
                     " -c copy -metadata:s:v:0 rotate=" + std::to_string(giro) + " " + hecho;
  EXPECT_EQ(std::system(orden.c_str()), 0) << orden;
  return hecho;
}

struct FilaVideo {
  std::string nombre;
  Medida original;
  double segundos;
  int giro;
  Medida esperada;
};

class MiniaturaDeVideo : public testing::TestWithParam<FilaVideo> {};

TEST_P(MiniaturaDeVideo, ElSegundoUnoCabeEn400) {
  const auto& f = GetParam();
  EXPECT_EQ(medidaDeJpeg(miniaturaDeVideo(video(f.original, f.segundos, f.giro))), f.esperada);
}

// A video shorter than the second asked for still gives a frame: its first one.
INSTANTIATE_TEST_SUITE_P(
    Miniaturas, MiniaturaDeVideo,
    testing::Values(FilaVideo{"Horizontal", {640, 480}, 3, 0, {400, 300}},
                    FilaVideo{"Vertical", {480, 640}, 3, 0, {300, 400}},
                    FilaVideo{"GiradoPorMetadatos", {640, 480}, 3, 90, {300, 400}},
                    FilaVideo{"MasCortoQueUnSegundo", {640, 480}, 0.5, 0, {400, 300}}),
    pruebas::porNombre);

TEST(Miniaturas, VideoPorHttp) {
  const auto bytes = leerTodo(video({640, 480}, 3));
  pruebas::ServidorHttp servidor([&](const auto&, auto& r) { r.set_content(bytes, "video/mp4"); });
  EXPECT_EQ(medidaDeJpeg(miniaturaDeVideo(servidor.base() + "/v.mp4")), (Medida{400, 300}));
  EXPECT_FALSE(servidor.vistos().empty());
}

TEST(Miniaturas, LoQueNoSeDecodificaNoDaNada) {
  EXPECT_EQ(miniaturaDeImagen(""), std::nullopt);
  EXPECT_EQ(miniaturaDeImagen("esto no es una imagen"), std::nullopt);
  EXPECT_EQ(miniaturaDeImagen(foto(300, 200, 1).substr(0, 20)), std::nullopt);
  std::ofstream(pruebas::casa() / "roto.mp4") << "esto no es un video";
  EXPECT_EQ(miniaturaDeVideo(pruebas::casa() / "no-existe.mp4"), std::nullopt);
  EXPECT_EQ(miniaturaDeVideo(pruebas::casa() / "roto.mp4"), std::nullopt);
  const auto cerrado = "http://127.0.0.1:" + std::to_string(pruebas::puertoCerrado()) + "/v.mp4";
  EXPECT_EQ(miniaturaDeVideo(cerrado), std::nullopt);
}

}  // namespace
}  // namespace vemlo
