// The thumbnail cache's files on their own: what a thumbnail already there says of the file
// (current, old, or not ours to touch), and how a new one is put in place.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "cache_miniaturas.h"
#include "vemlo/archivo.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;
using Situacion = CacheMiniaturas::Situacion;

// A cache of its own for each test (they share the process's XDG_CACHE_HOME).
fs::path raiz() {
  const auto* prueba = testing::UnitTest::GetInstance()->current_test_info();
  return fs::path(std::getenv("XDG_CACHE_HOME")) / prueba->test_suite_name() / prueba->name() /
         "thumbnails";
}

const Origen origen{"file:///home/ana/Vemlo-Acme/Fotos/playa%20grande.jpg", 1796670769, 5000};
const Pixeles pixeles{2, 1, std::string("\xff\x00\x00\x00\x00\xff", 6)};

struct Caso {
  const char* nombre;
  // What is at the thumbnail's place before the check (`archivo`), if anything.
  std::function<void(const fs::path& archivo)> preparar;
  Situacion esperada;
};

void PrintTo(const Caso& caso, std::ostream* salida) {
  *salida << caso.nombre;
}

void escribir(const fs::path& archivo, const std::string& bytes) {
  fs::create_directories(archivo.parent_path());
  std::ofstream(archivo, std::ios::binary) << bytes;
}

Origen con(std::function<void(Origen&)> cambio) {
  auto otro = origen;
  cambio(otro);
  return otro;
}

const Caso casos[] = {
    {"Nada", [](const fs::path&) {}, Situacion::falta},
    {"ElMismo", [](const fs::path& a) { escribir(a, pngDe(pixeles, origen)); }, Situacion::alDia},
    {"OtraHora",
     [](const fs::path& a) { escribir(a, pngDe(pixeles, con([](Origen& o) { --o.mtime; }))); },
     Situacion::vieja},
    {"OtroTamano",
     [](const fs::path& a) { escribir(a, pngDe(pixeles, con([](Origen& o) { ++o.tamano; }))); },
     Situacion::vieja},
    {"OtraUri",
     [](const fs::path& a) {
       escribir(a, pngDe(pixeles, con([](Origen& o) { o.uri = "file:///otra/cosa.jpg"; })));
     },
     Situacion::ajena},
    {"NoEsPng", [](const fs::path& a) { escribir(a, "hola"); }, Situacion::ajena},
    {"Cortado",
     [](const fs::path& a) {
       const auto png = pngDe(pixeles, origen);
       escribir(a, png.substr(0, png.size() - 20));
     },
     Situacion::ajena},
    {"Enlace",
     [](const fs::path& a) {
       escribir(a.parent_path() / "de-verdad.png", pngDe(pixeles, origen));
       fs::create_symlink("de-verdad.png", a);
     },
     Situacion::ajena},
    {"Carpeta", [](const fs::path& a) { fs::create_directories(a); }, Situacion::ajena},
};

class SituacionDeMiniatura : public testing::TestWithParam<Caso> {};

TEST_P(SituacionDeMiniatura, SegunLoQueHay) {
  const CacheMiniaturas cache(raiz());
  for (const auto& medida : {medidaNormal, medidaGrande}) {
    const auto archivo = cache.ruta(medida, origen.uri);
    GetParam().preparar(archivo);
    EXPECT_EQ(cache.situacion(medida, origen), GetParam().esperada) << medida.carpeta;
  }
}

INSTANTIATE_TEST_SUITE_P(CacheMiniaturas, SituacionDeMiniatura, testing::ValuesIn(casos),
                         [](const auto& info) { return std::string(info.param.nombre); });

TEST(CacheMiniaturas, NombreYTextosComoLosLeeGlib) {
  EXPECT_EQ(uriDe("/home/ana/Vemlo-Acme/Fotos/playa grande #1 ñ.jpg"),
            "file:///home/ana/Vemlo-Acme/Fotos/playa%20grande%20%231%20%C3%B1.jpg");
  const CacheMiniaturas cache(raiz());
  // The MD5 of the URI, in hex, as the standard's own example names it.
  EXPECT_EQ(cache.ruta(medidaNormal, "file:///home/jens/photos/me.png"),
            raiz() / "normal" / "c6ee772d9e49320e97ec29a7eb5b1697.png");
  const auto textos = textosDePng(pngDe(pixeles, origen));
  ASSERT_TRUE(textos);
  EXPECT_EQ(textos->at("Thumb::URI"), origen.uri);
  EXPECT_EQ(textos->at("Thumb::MTime"), "1796670769");
  EXPECT_EQ(textos->at("Thumb::Size"), "5000");
}

// Folders private to the user, the file too, no temporary file left, and a symbolic link at
// the place is replaced, never followed.
TEST(CacheMiniaturas, EscribeEnSuSitioYEnPrivado) {
  const CacheMiniaturas cache(raiz());
  cache.escribir(medidaNormal, origen.uri, pngDe(pixeles, origen));
  EXPECT_EQ(fs::status(raiz()).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(raiz() / "normal").permissions(), fs::perms::owner_all);
  const auto archivo = cache.ruta(medidaNormal, origen.uri);
  EXPECT_EQ(fs::status(archivo).permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(cache.situacion(medidaNormal, origen), Situacion::alDia);

  const auto fuera = fs::path(std::getenv("HOME")) / "fuera.png";
  escribir(fuera, "no tocar");
  fs::create_directory(raiz() / "large");
  fs::create_symlink(fuera, cache.ruta(medidaGrande, origen.uri));
  cache.escribir(medidaGrande, origen.uri, pngDe(pixeles, origen));
  EXPECT_EQ(leerTodo(fuera), "no tocar");
  EXPECT_EQ(cache.situacion(medidaGrande, origen), Situacion::alDia);
  EXPECT_EQ(std::distance(fs::directory_iterator(raiz() / "normal"), {}), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(raiz() / "large"), {}), 1);
}

}  // namespace
}  // namespace vemlo::finder::host
