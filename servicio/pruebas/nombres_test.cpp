// Names: every invalid name is "datos" wherever a name goes in (new folder, rename, upload),
// and a name of exactly 255 bytes is still fine.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

struct FilaNombre {
  std::string caso;
  std::string nombre;
  friend void PrintTo(const FilaNombre& f, std::ostream* os) { *os << f.caso; }
};

class NombresInvalidos : public testing::TestWithParam<FilaNombre> {};

TEST_P(NombresInvalidos, SonDatosEnCadaLugarYNoSeGuardan) {
  Escenario e;
  const auto& nombre = GetParam().nombre;
  const auto raiz = e.acme.carpetaRaizId;
  const auto antes = e.raizAcme();
  const auto leeme = idArchivo(antes, "Léeme.txt");
  const auto fotos = idCarpeta(antes, "Fotos");

  EXPECT_TRUE(esError(e.demo.post("/v1/carpetas", {{"padreId", raiz}, {"nombre", nombre}}), 400,
                      "datos"))
      << "crear carpeta";
  EXPECT_TRUE(esError(e.demo.patch("/v1/carpetas/" + fotos, {{"nombre", nombre}}), 400, "datos"))
      << "renombrar carpeta";
  EXPECT_TRUE(esError(e.demo.patch("/v1/archivos/" + leeme, {{"nombre", nombre}}), 400, "datos"))
      << "renombrar archivo";
  for (int tamano : {0, 10}) {
    const nlohmann::json pedido{
        {"carpetaId", raiz}, {"nombre", nombre}, {"tamanoBytes", tamano}, {"tipo", "text/plain"}};
    EXPECT_TRUE(esError(e.demo.post("/v1/subidas", pedido), 400, "datos"))
        << "subir " << tamano << " bytes";
  }

  const auto despues = e.raizAcme();
  EXPECT_EQ(nombres(despues.carpetas), nombres(antes.carpetas));
  EXPECT_EQ(nombres(despues.archivos), nombres(antes.archivos));
}

INSTANTIATE_TEST_SUITE_P(
    Nombres, NombresInvalidos,
    testing::Values(FilaNombre{"Vacio", ""}, FilaNombre{"Punto", "."},
                    FilaNombre{"DosPuntos", ".."}, FilaNombre{"ConBarra", "a/b"},
                    FilaNombre{"SubeUnNivel", "../fuera.txt"}, FilaNombre{"SoloBarra", "/"},
                    FilaNombre{"ConNul", std::string("a\0b", 3)},
                    FilaNombre{"De256Bytes", std::string(256, 'x')},
                    FilaNombre{"De256BytesMultibyte", [] {
                                 std::string n;
                                 for (int i = 0; i < 128; ++i) n += "ñ";
                                 return n;
                               }()}),
    [](const auto& info) { return info.param.caso; });

TEST(Nombres, UnNombreDe255BytesEsValido) {
  Escenario e;
  std::string nombre;
  for (int i = 0; i < 127; ++i) nombre += "ñ";
  nombre += "x";
  ASSERT_EQ(nombre.size(), 255u);
  const auto c = e.demo.post("/v1/carpetas", {{"padreId", e.acme.carpetaRaizId}, {"nombre", nombre}});
  ASSERT_TRUE(esOk(c));
  EXPECT_EQ(e.demo.carpeta(desdeJson<RId>(c.json()).valor).ruta.back().nombre, nombre);
  const auto id = subir(e.demo, e.acme.carpetaRaizId, std::string(255, 'a'), "hola", "text/plain");
  EXPECT_EQ(archivo(e.raizAcme(), std::string(255, 'a')).id, id);
}

TEST(Nombres, NombresRarosPeroValidosSeGuardanTalCual) {
  Escenario e;
  const std::vector<std::string> raros{"...", "..a", "a..", " espacio ", "..\\..\\fuera.txt",
                                       "%2e%2e%2ffuera", "~", "-rf", ".oculto", "日本語.txt"};
  for (const auto& nombre : raros) {
    SCOPED_TRACE(nombre);
    subir(e.demo, e.acme.carpetaRaizId, nombre, "contenido de " + nombre, "text/plain");
  }
  const auto vista = e.raizAcme();
  for (const auto& nombre : raros)
    EXPECT_EQ(descargar(e.demo, idArchivo(vista, nombre)), "contenido de " + nombre);
}

}  // namespace
}  // namespace vemlo::pruebas
