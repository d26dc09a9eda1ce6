// Uploads and downloads through vemlo-cli: a folder merged into one of the same name with its
// hidden entries skipped, failed entries reported, and a round trip compared byte for byte
// (in parts, with the service's part size made small).
#include "comun.h"

namespace vemlo::pruebas {
namespace {

using V = std::vector<std::string>;

class Transferencias : public testing::Test, public ConServicio {
 protected:
  Transferencias()
      : ConServicio({"--demo", "--pruebas", "--parte", "65536", "--umbral", "65536"}) {}
  void SetUp() override {
    http = entrarComo(correoDemo);
    raizAcme = raiz(http, "Acme");
  }
  Resultado acme(std::vector<std::string> argumentos, const std::string& idioma = "en") {
    argumentos.insert(argumentos.begin() + 1, {"--company", "Acme"});
    return cli(argumentos, idioma);
  }
  ClienteHttp http{""};
  std::string raizAcme;
  CarpetaLocal local;
};

TEST_F(Transferencias, UnaCarpetaSeUneALaDelMismoNombreSinLosOcultos) {
  local.escribir("Informes/resumen.txt", "resumen");
  local.escribir("Informes/2026/q2.csv", "a,b\n1,2\n");
  local.escribir("Informes/.oculto", "no");
  local.escribir("Informes/.privada/secreto.txt", "no");
  local.escribir("suelto.bin", bytesDePrueba(200000, 7));

  const auto r = acme({"upload", (local.ruta() / "Informes").string(),
                       (local.ruta() / "suelto.bin").string(), "/"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Uploaded 3 file(s) to “/”.\n");
  EXPECT_EQ(r.errores, "");

  const auto enRaiz = nombresDe(carpeta(http, raizAcme));
  EXPECT_EQ(std::count(enRaiz.begin(), enRaiz.end(), "Informes/"), 1);
  EXPECT_EQ(nombresDe(carpeta(http, raizAcme, {"Informes"})), (V{"2026/", "resumen.txt"}));
  EXPECT_EQ(nombresDe(carpeta(http, raizAcme, {"Informes", "2026"})), (V{"q1.pdf", "q2.csv"}));
  const auto raiz = carpeta(http, raizAcme);
  EXPECT_EQ(descargar(http, idArchivo(raiz, "suelto.bin")), bytesDePrueba(200000, 7));
}

TEST_F(Transferencias, CadaEntradaFallidaSeInformaYElRestoLlega) {
  local.escribir("Fotos", "un archivo con el nombre de una carpeta");
  local.escribir("bueno.txt", "bien");
  const auto r = acme({"upload", (local.ruta() / "Fotos").string(),
                       (local.ruta() / "bueno.txt").string(), "/Informes/.."});
  EXPECT_EQ(r.estado, 1) << r.resumen();
  EXPECT_EQ(r.salida, "Uploaded 1 file(s) to “/”.\n");
  EXPECT_TRUE(contiene(r.errores,
                       "couldn't upload “Fotos”: There's already something with "
                       "that name here."))
      << r.errores;
  EXPECT_TRUE(contiene(r.errores, "1 item(s) didn't arrive.")) << r.errores;
  const auto nombres = nombresDe(carpeta(http, raizAcme));
  EXPECT_NE(std::find(nombres.begin(), nombres.end(), "bueno.txt"), nombres.end());
}

TEST_F(Transferencias, SiNadaLlegaNoSeDiceQueSeSubio) {
  local.escribir("Fotos", "un archivo con el nombre de una carpeta");
  const auto r = acme({"upload", (local.ruta() / "Fotos").string(), "/"});
  EXPECT_EQ(r.estado, 1) << r.resumen();
  EXPECT_EQ(r.salida, "") << r.resumen();
  EXPECT_TRUE(contiene(r.errores, "1 item(s) didn't arrive.")) << r.errores;
}

TEST_F(Transferencias, IdaYVueltaByteAByte) {
  const auto bytes = bytesDePrueba(700000, 42);  // 11 parts of 64 KiB
  local.escribir("datos.bin", bytes);
  auto r = acme({"upload", (local.ruta() / "datos.bin").string(), "/Proyectos"});
  ASSERT_EQ(r.estado, 0) << r.resumen();

  local.escribir("bajadas/.keep", "");
  r = acme({"download", "/Proyectos/datos.bin", (local.ruta() / "bajadas").string()});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_TRUE(contiene(r.salida, "Downloaded “/Proyectos/datos.bin” to")) << r.salida;
  EXPECT_EQ(CarpetaLocal::leer(local.ruta() / "bajadas" / "datos.bin"), bytes);
  EXPECT_EQ(local.nombres("bajadas"), (V{".keep", "datos.bin"}));

  r = acme({"download", "/Informes/2026/q1.pdf", (local.ruta() / "informe.pdf").string()});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  const auto vista = carpeta(http, raizAcme, {"Informes", "2026"});
  EXPECT_EQ(CarpetaLocal::leer(local.ruta() / "informe.pdf"),
            descargar(http, idArchivo(vista, "q1.pdf")));
}

TEST_F(Transferencias, ErroresDeUso) {
  local.escribir("a.txt", "a");
  const auto a = (local.ruta() / "a.txt").string();
  const auto nada = (local.ruta() / "nada").string();
  const std::vector<std::pair<std::vector<std::string>, std::string>> casos{
      {{"upload", nada, "/"}, "There's no file or folder at"},
      {{"upload", a}, "Give what to upload and the folder to put it in"},
      {{"download", "/Fotos", local.ruta().string()},
       "“/Fotos” is a folder; download takes a file."},
      {{"download", "/Léeme.txt", nada + "/x/y"}, "to download into."},
  };
  for (const auto& [argumentos, error] : casos) {
    const auto r = acme(argumentos);
    EXPECT_EQ(r.estado, 2) << r.resumen();
    EXPECT_TRUE(contiene(r.errores, error)) << r.resumen();
  }
  const auto r = acme({"upload", a, "/Léeme.txt"});
  EXPECT_EQ(r.estado, 1) << r.resumen();
  EXPECT_EQ(local.nombres(), (V{"a.txt"}));
}

TEST_F(Transferencias, EnEspanol) {
  local.escribir("a.txt", "a");
  const auto r = acme({"upload", (local.ruta() / "a.txt").string(), "/Fotos"}, "es");
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Se subieron 1 archivo(s) a «/Fotos».\n");
}

}  // namespace
}  // namespace vemlo::pruebas
