// Share links, download links with ranges, and thumbnails.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

Contestacion compartir(const Escenario& e, const std::string& tipo, const std::string& id,
                       const nlohmann::json& dias) {
  return e.demo.post("/v1/compartir", {{"tipo", tipo}, {"id", id}, {"dias", dias}});
}

TEST(Compartir, ElEnlaceSirveLosBytesDelArchivo) {
  Escenario e;
  const auto id = subir(e.demo, e.acme.carpetaRaizId, "compartido.bin", bytesDePrueba(5000, 1));
  const auto c = compartir(e, "archivo", id, 7);
  ASSERT_TRUE(esOk(c));
  const auto enlace = desdeJson<REnlace>(c.json()).valor;
  ASSERT_TRUE(enlace.starts_with(e.servicio.base() + "/s/")) << enlace;
  EXPECT_GT(enlace.size(), (e.servicio.base() + "/s/").size() + 16) << "token demasiado corto";
  const auto pagina = e.anonimo().get(rutaDe(enlace));
  ASSERT_EQ(pagina.estado, 200);
  EXPECT_EQ(pagina.cuerpo, bytesDePrueba(5000, 1));
  EXPECT_NE(compartir(e, "archivo", id, 7).json()["enlace"], c.json()["enlace"]);
}

TEST(Compartir, UnaCarpetaSeCompartePorUnaPaginaQueLaLista) {
  Escenario e;
  const auto fotos = idCarpeta(e.raizAcme(), "Fotos");
  const auto c = compartir(e, "carpeta", fotos, 30);
  ASSERT_TRUE(esOk(c));
  const auto pagina = e.anonimo().get(rutaDe(desdeJson<REnlace>(c.json()).valor));
  ASSERT_EQ(pagina.estado, 200);
  EXPECT_NE(pagina.cuerpo.find("playa.jpg"), std::string::npos) << pagina.cuerpo;
  EXPECT_NE(pagina.cuerpo.find("montaña.png"), std::string::npos) << pagina.cuerpo;
}

TEST(Compartir, UnEnlaceDesconocidoEs404) {
  Escenario e;
  EXPECT_EQ(e.anonimo().get("/s/" + std::string(64, 'a')).estado, 404);
}

struct FilaDias {
  std::string nombre;
  nlohmann::json dias;
  bool vale;
  friend void PrintTo(const FilaDias& f, std::ostream* os) { *os << f.nombre; }
};

class DiasDeEnlace : public testing::TestWithParam<FilaDias> {};

TEST_P(DiasDeEnlace, DeUnoATreintaSiLoDemasEsDatos) {
  Escenario e;
  const auto leeme = idArchivo(e.raizAcme(), "Léeme.txt");
  const auto c = compartir(e, "archivo", leeme, GetParam().dias);
  if (GetParam().vale) {
    EXPECT_TRUE(esOk(c));
  } else {
    EXPECT_TRUE(esError(c, 400, "datos"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Compartir, DiasDeEnlace,
    testing::Values(FilaDias{"Uno", 1, true}, FilaDias{"Treinta", 30, true},
                    FilaDias{"Cero", 0, false}, FilaDias{"TreintaYUno", 31, false},
                    FilaDias{"Negativo", -1, false}, FilaDias{"Texto", "7", false},
                    FilaDias{"Fraccion", 1.5, false}, FilaDias{"Nulo", nullptr, false}),
    [](const auto& info) { return info.param.nombre; });

// A downloadable file of known bytes and its link's path.
struct Descargable {
  explicit Descargable(Escenario& e)
      : bytes(bytesDePrueba(1000, 7)), id(subir(e.demo, e.acme.carpetaRaizId, "datos.csv", bytes,
                                                "text/csv")) {
    const auto c = e.demo.post("/v1/descargas", {{"archivoId", id}});
    url = desdeJson<Enlace>(ClienteHttp::exigir(c, "POST /v1/descargas").json()).url;
  }
  std::string bytes;
  std::string id;
  std::string url;
};

TEST(Descargas, ElEnlaceEsUnaRutaYDaLosBytesExactos) {
  Escenario e;
  const Descargable d(e);
  ASSERT_TRUE(d.url.starts_with("/almacen/")) << d.url;
  const auto c = e.anonimo().get(d.url);
  ASSERT_EQ(c.estado, 200);
  EXPECT_EQ(c.cuerpo, d.bytes);
  EXPECT_EQ(c.cabecera("Content-Length"), std::optional<std::string>("1000"));
  EXPECT_TRUE(c.cabecera("Content-Type").value_or("").starts_with("text/csv"))
      << c.cabecera("Content-Type").value_or("(ninguno)");
}

TEST(Descargas, UnArchivoDeOtraEmpresaOEnLaPapeleraEsNoExiste) {
  Escenario e;
  const auto guia = idArchivo(e.demo.carpeta(idCarpeta(e.raizBeta(), "Manuales")), "guia.pdf");
  EXPECT_TRUE(esOk(e.demo.post("/v1/descargas", {{"archivoId", guia}})))
      << "un lector puede bajar";
  EXPECT_TRUE(esError(e.mara().post("/v1/descargas", {{"archivoId", guia}}), 404, "noExiste"));
  const auto leeme = idArchivo(e.raizAcme(), "Léeme.txt");
  ASSERT_TRUE(esOk(e.demo.post("/v1/archivos/" + leeme + "/papelera")));
  EXPECT_TRUE(esError(e.demo.post("/v1/descargas", {{"archivoId", leeme}}), 404, "noExiste"));
}

struct FilaRango {
  std::string nombre;
  std::string rango;
  int estado;
  std::size_t desde = 0;
  std::size_t largo = 0;
  friend void PrintTo(const FilaRango& f, std::ostream* os) { *os << f.nombre; }
};

class Rangos : public testing::TestWithParam<FilaRango> {};

TEST_P(Rangos, UnRangoDa206ConSusBytesO416) {
  Escenario e;
  const Descargable d(e);
  const auto& fila = GetParam();
  const auto c = e.anonimo().get(d.url, {{"Range", fila.rango}});
  ASSERT_EQ(c.estado, fila.estado) << c.resumen();
  if (fila.estado != 206) return;
  EXPECT_EQ(c.cuerpo, d.bytes.substr(fila.desde, fila.largo));
  const auto rango = "bytes " + std::to_string(fila.desde) + "-" +
                     std::to_string(fila.desde + fila.largo - 1) + "/1000";
  EXPECT_EQ(c.cabecera("Content-Range"), std::optional(rango));
  EXPECT_EQ(c.cabecera("Content-Length"), std::optional(std::to_string(fila.largo)));
}

INSTANTIATE_TEST_SUITE_P(
    Descargas, Rangos,
    testing::Values(FilaRango{"Cerrado", "bytes=10-19", 206, 10, 10},
                    FilaRango{"UnByte", "bytes=0-0", 206, 0, 1},
                    FilaRango{"Abierto", "bytes=990-", 206, 990, 10},
                    FilaRango{"Sufijo", "bytes=-4", 206, 996, 4},
                    FilaRango{"FinMasAllaSeRecorta", "bytes=995-5000", 206, 995, 5},
                    FilaRango{"DesdeElFinal", "bytes=1000-", 416},
                    FilaRango{"MuyLejos", "bytes=5000-6000", 416}),
    [](const auto& info) { return info.param.nombre; });

// Width and height of a JPEG, from its first SOFn segment; {0, 0} when there is none.
std::pair<int, int> medidasJpeg(const std::string& b) {
  std::size_t i = 2;
  while (i + 9 < b.size()) {
    if (static_cast<unsigned char>(b[i]) != 0xff) return {0, 0};
    const auto marca = static_cast<unsigned char>(b[i + 1]);
    const auto largo = (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
    if (marca >= 0xc0 && marca <= 0xcf && marca != 0xc4 && marca != 0xc8 && marca != 0xcc) {
      const int alto = (static_cast<unsigned char>(b[i + 5]) << 8) | static_cast<unsigned char>(b[i + 6]);
      const int ancho = (static_cast<unsigned char>(b[i + 7]) << 8) | static_cast<unsigned char>(b[i + 8]);
      return {ancho, alto};
    }
    i += 2 + static_cast<std::size_t>(largo);
  }
  return {0, 0};
}

void esperarMiniaturaJpeg(const Escenario& e, const std::string& id) {
  const auto c = e.demo.get("/v1/archivos/" + id + "/miniatura");
  ASSERT_EQ(c.estado, 200) << c.resumen();
  ASSERT_GT(c.cuerpo.size(), 3u);
  EXPECT_EQ(c.cuerpo.substr(0, 3), std::string("\xff\xd8\xff")) << "no es un JPEG";
  const auto [ancho, alto] = medidasJpeg(c.cuerpo);
  EXPECT_GT(ancho, 0);
  EXPECT_LE(std::max(ancho, alto), 400) << ancho << "x" << alto;
}

TEST(Miniaturas, LasImagenesDeLaDemoTienenMiniaturaJpeg) {
  Escenario e;
  const auto fotos = e.demo.carpeta(idCarpeta(e.raizAcme(), "Fotos"));
  for (const char* nombre : {"playa.jpg", "montaña.png"}) {
    SCOPED_TRACE(nombre);
    const auto& imagen = archivo(fotos, nombre);
    EXPECT_EQ(imagen.miniatura, std::optional(true));
    esperarMiniaturaJpeg(e, imagen.id);
  }
}

TEST(Miniaturas, UnaImagenSubidaLaTieneYUnTextoNo) {
  Escenario e;
  const auto fotos = e.demo.carpeta(idCarpeta(e.raizAcme(), "Fotos"));
  const auto imagen = descargar(e.demo, idArchivo(fotos, "playa.jpg"));
  const auto copia = subir(e.demo, e.acme.carpetaRaizId, "copia.jpg", imagen, "image/jpeg");
  const auto texto = subir(e.demo, e.acme.carpetaRaizId, "nota.txt", "hola", "text/plain");
  const auto raiz = e.raizAcme();
  EXPECT_EQ(archivo(raiz, "copia.jpg").miniatura, std::optional(true));
  esperarMiniaturaJpeg(e, copia);
  EXPECT_NE(archivo(raiz, "nota.txt").miniatura, std::optional(true));
  EXPECT_EQ(e.demo.get("/v1/archivos/" + texto + "/miniatura").estado, 404);
  EXPECT_EQ(e.demo.get("/v1/archivos/" + idArchivo(raiz, "Léeme.txt") + "/miniatura").estado, 404);
}

}  // namespace
}  // namespace vemlo::pruebas
