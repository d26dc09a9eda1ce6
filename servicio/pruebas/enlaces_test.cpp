// Share links, download links with ranges, and thumbnails.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

class Enlaces : public Compartida {};

Contestacion compartir(const Escenario& e, const std::string& tipo, const std::string& id,
                       const nlohmann::json& dias) {
  return e.demo.post("/v1/compartir", {{"tipo", tipo}, {"id", id}, {"dias", dias}});
}

TEST_F(Enlaces, CompartirUnArchivoDaUnEnlaceQueSirveSusBytes) {
  auto& e = compartido();
  const auto id = subir(e.demo, carpetaNueva(e), "compartido.bin", bytesDePrueba(5000, 1));
  const auto c = compartir(e, "archivo", id, 7);
  ASSERT_TRUE(esOk(c));
  const auto enlace = desdeJson<REnlace>(c.json()).valor;
  ASSERT_TRUE(enlace.starts_with(e.servicio.base() + "/s/")) << enlace;
  EXPECT_GT(enlace.size(), (e.servicio.base() + "/s/").size() + 16) << "token demasiado corto";
  const auto pagina = e.anonimo().get(rutaDe(enlace));
  ASSERT_EQ(pagina.estado, 200);
  EXPECT_EQ(pagina.cuerpo, bytesDePrueba(5000, 1));
  EXPECT_NE(compartir(e, "archivo", id, 7).json()["enlace"], c.json()["enlace"]);
  // From one to thirty days (the rest are rows in rechazos_test.cpp).
  EXPECT_TRUE(esOk(compartir(e, "archivo", id, 1)));
  EXPECT_TRUE(esOk(compartir(e, "archivo", id, 30)));
}

TEST_F(Enlaces, UnaCarpetaSeCompartePorUnaPaginaQueLaLista) {
  auto& e = compartido();
  const auto c = compartir(e, "carpeta", idCarpeta(e.raizAcme(), "Fotos"), 30);
  ASSERT_TRUE(esOk(c));
  const auto pagina = e.anonimo().get(rutaDe(desdeJson<REnlace>(c.json()).valor));
  ASSERT_EQ(pagina.estado, 200);
  EXPECT_NE(pagina.cuerpo.find("playa.jpg"), std::string::npos) << pagina.cuerpo;
  EXPECT_NE(pagina.cuerpo.find("montaña.png"), std::string::npos) << pagina.cuerpo;
}

// A downloadable file of known bytes and its link's path.
struct Descargable {
  explicit Descargable(Escenario& e)
      : bytes(bytesDePrueba(1000, 7)),
        id(subir(e.demo, carpetaNueva(e), "datos.csv", bytes, "text/csv")) {
    const auto c = e.demo.post("/v1/descargas", {{"archivoId", id}});
    url = desdeJson<Enlace>(ClienteHttp::exigir(c, "POST /v1/descargas").json()).url;
  }
  std::string bytes;
  std::string id;
  std::string url;
};

TEST_F(Enlaces, UnaDescargaEsUnaRutaQueDaLosBytesExactos) {
  auto& e = compartido();
  const Descargable d(e);
  ASSERT_TRUE(d.url.starts_with("/almacen/")) << d.url;
  const auto c = e.anonimo().get(d.url);
  ASSERT_EQ(c.estado, 200);
  EXPECT_EQ(c.cuerpo, d.bytes);
  EXPECT_EQ(c.cabecera("Content-Length"), std::optional<std::string>("1000"));
  EXPECT_TRUE(c.cabecera("Content-Type").value_or("").starts_with("text/csv"))
      << c.cabecera("Content-Type").value_or("(ninguno)");
  const auto guia = idArchivo(e.demo.carpeta(idCarpeta(e.raizBeta(), "Manuales")), "guia.pdf");
  EXPECT_TRUE(esOk(e.demo.post("/v1/descargas", {{"archivoId", guia}}))) << "un lector puede bajar";
}

struct FilaRango {
  std::string nombre;
  std::string rango;
  int estado;
  std::size_t desde = 0;
  std::size_t largo = 0;
  friend void PrintTo(const FilaRango& f, std::ostream* os) { *os << f.nombre; }
};

class Rangos : public ConServicioDeLaSuite<testing::TestWithParam<FilaRango>> {
 public:
  static void TearDownTestSuite() {
    descargable.reset();
    ConServicioDeLaSuite::TearDownTestSuite();
  }

 protected:
  static inline std::optional<Descargable> descargable;  // one file for every row
};

TEST_P(Rangos, UnRangoDa206ConSusBytesO416) {
  auto& e = compartido();
  if (!descargable) descargable.emplace(e);
  const auto& d = *descargable;
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

INSTANTIATE_TEST_SUITE_P(Descargas, Rangos,
                         testing::Values(FilaRango{"Cerrado", "bytes=10-19", 206, 10, 10},
                                         FilaRango{"UnByte", "bytes=0-0", 206, 0, 1},
                                         FilaRango{"Abierto", "bytes=990-", 206, 990, 10},
                                         FilaRango{"Sufijo", "bytes=-4", 206, 996, 4},
                                         FilaRango{"FinMasAllaSeRecorta", "bytes=995-5000", 206,
                                                   995, 5},
                                         FilaRango{"DesdeElFinal", "bytes=1000-", 416},
                                         FilaRango{"MuyLejos", "bytes=5000-6000", 416}),
                         [](const auto& info) { return info.param.nombre; });

// Width and height of a JPEG, from its first SOFn segment; {0, 0} when there is none.
std::pair<int, int> medidasJpeg(const std::string& b) {
  std::size_t i = 2;
  while (i + 9 < b.size()) {
    if (static_cast<unsigned char>(b[i]) != 0xff) return {0, 0};
    const auto marca = static_cast<unsigned char>(b[i + 1]);
    const auto largo =
        (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
    if (marca >= 0xc0 && marca <= 0xcf && marca != 0xc4 && marca != 0xc8 && marca != 0xcc) {
      const int alto =
          (static_cast<unsigned char>(b[i + 5]) << 8) | static_cast<unsigned char>(b[i + 6]);
      const int ancho =
          (static_cast<unsigned char>(b[i + 7]) << 8) | static_cast<unsigned char>(b[i + 8]);
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

TEST_F(Enlaces, LasImagenesDeLaDemoTienenMiniaturaJpeg) {
  auto& e = compartido();
  const auto fotos = e.demo.carpeta(idCarpeta(e.raizAcme(), "Fotos"));
  for (const char* nombre : {"playa.jpg", "montaña.png"}) {
    SCOPED_TRACE(nombre);
    const auto& imagen = archivo(fotos, nombre);
    EXPECT_EQ(imagen.miniatura, std::optional(true));
    esperarMiniaturaJpeg(e, imagen.id);
  }
}

// The 404 of a text's thumbnail is a row in rechazos_test.cpp.
TEST_F(Enlaces, UnaImagenSubidaTieneMiniaturaYUnTextoNo) {
  auto& e = compartido();
  const auto fotos = e.demo.carpeta(idCarpeta(e.raizAcme(), "Fotos"));
  const auto imagen = descargar(e.demo, idArchivo(fotos, "playa.jpg"));
  const auto caso = carpetaNueva(e);
  const auto copia = subir(e.demo, caso, "copia.jpg", imagen, "image/jpeg");
  subir(e.demo, caso, "nota.txt", "hola", "text/plain");
  const auto vista = e.demo.carpeta(caso);
  EXPECT_EQ(archivo(vista, "copia.jpg").miniatura, std::optional(true));
  esperarMiniaturaJpeg(e, copia);
  EXPECT_NE(archivo(vista, "nota.txt").miniatura, std::optional(true));
}

}  // namespace
}  // namespace vemlo::pruebas
