// Hostile or broken input: bodies that are not JSON or carry wrong types, huge bodies,
// forged signed addresses, another company's ids, names that try to leave the data folder;
// and persistence across a restart.
#include <functional>

#include "comun.h"

namespace vemlo::pruebas {
namespace {

// One malformed request; `ruta` may use {raiz} and {leeme}.
struct FilaMalformada {
  std::string nombre;
  std::string metodo;
  std::string ruta;
  std::string cuerpo;
  friend void PrintTo(const FilaMalformada& f, std::ostream* os) { *os << f.nombre; }
};

std::string reemplazar(std::string texto, const std::string& marca, const std::string& valor) {
  for (auto pos = texto.find(marca); pos != std::string::npos; pos = texto.find(marca, pos))
    texto.replace(pos, marca.size(), valor), pos += valor.size();
  return texto;
}

class Malformadas : public testing::TestWithParam<FilaMalformada> {};

TEST_P(Malformadas, SonDatosYNoGuardanNada) {
  Escenario e;
  const auto antes = e.raizAcme();
  const auto leeme = idArchivo(antes, "Léeme.txt");
  auto sustituir = [&](std::string t) {
    t = reemplazar(t, "{raiz}", e.acme.carpetaRaizId);
    t = reemplazar(t, "{leeme}", leeme);
    return reemplazar(t, "{org}", e.acme.id);
  };
  const auto& fila = GetParam();
  const auto c = e.demo.enviar(fila.metodo, sustituir(fila.ruta), sustituir(fila.cuerpo));
  EXPECT_TRUE(esError(c, 400, "datos"));

  const auto despues = e.raizAcme();
  EXPECT_EQ(nombres(despues.carpetas), nombres(antes.carpetas));
  EXPECT_EQ(despues.archivos, antes.archivos);
  EXPECT_TRUE(e.demo.leer<RElementos>("/v1/papelera?organizacionId=" + codificar(e.acme.id))
                  .valor.empty());
  EXPECT_TRUE(
      e.demo.leer<RFavoritos>("/v1/favoritos?organizacionId=" + codificar(e.acme.id)).valor.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Seguridad, Malformadas,
    testing::Values(
        FilaMalformada{"CrearNoEsJson", "POST", "/v1/carpetas", R"({"padreId":"{raiz}","nombre":)"},
        FilaMalformada{"CrearEsUnaLista", "POST", "/v1/carpetas", R"(["{raiz}","x"])"},
        FilaMalformada{"CrearEsNull", "POST", "/v1/carpetas", "null"},
        FilaMalformada{"CrearVacio", "POST", "/v1/carpetas", ""},
        FilaMalformada{"CrearNombreNumero", "POST", "/v1/carpetas", R"({"padreId":"{raiz}","nombre":5})"},
        FilaMalformada{"CrearNombreNulo", "POST", "/v1/carpetas", R"({"padreId":"{raiz}","nombre":null})"},
        FilaMalformada{"CrearPadreNumero", "POST", "/v1/carpetas", R"({"padreId":7,"nombre":"x"})"},
        FilaMalformada{"CrearSinNombre", "POST", "/v1/carpetas", R"({"padreId":"{raiz}"})"},
        FilaMalformada{"CrearUtf8Roto", "POST", "/v1/carpetas",
                       "{\"padreId\":\"{raiz}\",\"nombre\":\"a\xff\xfe\"}"},
        FilaMalformada{"RenombrarNombreLogico", "PATCH", "/v1/archivos/{leeme}", R"({"nombre":true})"},
        FilaMalformada{"MoverDestinoLista", "POST", "/v1/archivos/{leeme}/mover", R"({"destinoId":[]})"},
        FilaMalformada{"MoverSinDestino", "POST", "/v1/archivos/{leeme}/mover", "{}"},
        FilaMalformada{"SubirTamanoTexto", "POST", "/v1/subidas",
                       R"({"carpetaId":"{raiz}","nombre":"a","tamanoBytes":"10","tipo":"text/plain"})"},
        FilaMalformada{"SubirTamanoNegativo", "POST", "/v1/subidas",
                       R"({"carpetaId":"{raiz}","nombre":"a","tamanoBytes":-1,"tipo":"text/plain"})"},
        FilaMalformada{"SubirTamanoFraccion", "POST", "/v1/subidas",
                       R"({"carpetaId":"{raiz}","nombre":"a","tamanoBytes":1.5,"tipo":"text/plain"})"},
        FilaMalformada{"SubirSinTipo", "POST", "/v1/subidas",
                       R"({"carpetaId":"{raiz}","nombre":"a","tamanoBytes":0})"},
        FilaMalformada{"FavoritoTipoNumero", "PUT", "/v1/favoritos", R"({"tipo":3,"id":"{leeme}"})"},
        FilaMalformada{"CompartirIdNumero", "POST", "/v1/compartir", R"({"tipo":"archivo","id":1,"dias":7})"},
        FilaMalformada{"DescargaIdLista", "POST", "/v1/descargas", R"({"archivoId":["{leeme}"]})"},
        FilaMalformada{"RestaurarSinId", "POST", "/v1/papelera/restaurar",
                       R"({"organizacionId":"{org}","tipo":"archivo"})"},
        FilaMalformada{"EntrarCorreoNumero", "POST", "/v1/sesiones", R"({"correo":1,"clave":"x"})"},
        FilaMalformada{"EntrarNoEsJson", "POST", "/v1/sesiones", "correo=demo"},
        FilaMalformada{"MfaCodigoNumero", "POST", "/v1/sesiones/mfa", R"({"desafio":"x","codigo":123456})"}),
    [](const auto& info) { return info.param.nombre; });

TEST(Seguridad, UnCuerpoDeMasDeUnMegaEs413) {
  Escenario e;
  nlohmann::json cuerpo{{"padreId", e.acme.carpetaRaizId},
                        {"nombre", "Grande"},
                        {"relleno", std::string(1536 * 1024, 'x')}};
  const auto c = e.demo.post("/v1/carpetas", cuerpo);
  EXPECT_TRUE(esError(c, 413, "datos"));
  EXPECT_EQ(nombres(e.raizAcme().carpetas), (std::vector<std::string>{"Fotos", "Informes", "Proyectos"}));
}

TEST(Seguridad, UnaRutaDesconocidaEsNoExiste) {
  Escenario e;
  EXPECT_TRUE(esError(e.demo.get("/v1/nada"), 404, "noExiste"));
  EXPECT_TRUE(esError(e.demo.post("/v1/carpetas/x/y/z"), 404, "noExiste"));
}

// A signed address that the service never issued, or one bent out of shape.
struct FilaFirma {
  std::string nombre;
  std::function<std::pair<std::string, std::string>(const Escenario&)> direccion;  // metodo, ruta
  friend void PrintTo(const FilaFirma& f, std::ostream* os) { *os << f.nombre; }
};

class FirmasFalsas : public testing::TestWithParam<FilaFirma> {};

TEST_P(FirmasFalsas, SonPermiso403) {
  Escenario e(conPartesChicas);
  const auto [metodo, ruta] = GetParam().direccion(e);
  const auto cuerpo = metodo == "PUT" ? std::optional<std::string>("abc") : std::nullopt;
  const auto c = e.anonimo().enviar(metodo, ruta, cuerpo, "application/octet-stream");
  EXPECT_TRUE(esError(c, 403, "permiso")) << metodo << " " << ruta;
}

std::string subidaUnica(const Escenario& e) {
  const auto c = e.demo.post("/v1/subidas", {{"carpetaId", e.acme.carpetaRaizId}, {"nombre", "f.bin"},
                                             {"tamanoBytes", 3}, {"tipo", "text/plain"}});
  return rutaDe(*desdeJson<PedidoSubida>(c.json()).url);
}

std::string descarga(const Escenario& e) {
  const auto leeme = idArchivo(e.raizAcme(), "Léeme.txt");
  return desdeJson<Enlace>(e.demo.post("/v1/descargas", {{"archivoId", leeme}}).json()).url;
}

std::string cambiarUltimo(std::string ruta) {
  ruta.back() = ruta.back() == 'a' ? 'b' : 'a';
  return ruta;
}

INSTANTIATE_TEST_SUITE_P(
    Seguridad, FirmasFalsas,
    testing::Values(
        FilaFirma{"SubidaInventada",
                  [](const Escenario&) {
                    return std::pair{std::string("PUT"), "/almacen/subir/" + std::string(64, '0')};
                  }},
        FilaFirma{"ParteInventada",
                  [](const Escenario&) {
                    return std::pair{std::string("PUT"), "/almacen/partes/" + std::string(64, 'f')};
                  }},
        FilaFirma{"DescargaInventada",
                  [](const Escenario&) {
                    return std::pair{std::string("GET"), "/almacen/" + std::string(43, 'A')};
                  }},
        FilaFirma{"SubidaRetocada",
                  [](const Escenario& e) {
                    return std::pair{std::string("PUT"), cambiarUltimo(subidaUnica(e))};
                  }},
        FilaFirma{"SubidaRecortada",
                  [](const Escenario& e) {
                    auto ruta = subidaUnica(e);
                    ruta.pop_back();
                    return std::pair{std::string("PUT"), ruta};
                  }},
        FilaFirma{"DescargaRetocada",
                  [](const Escenario& e) {
                    return std::pair{std::string("GET"), cambiarUltimo(descarga(e))};
                  }},
        FilaFirma{"DescargaUsadaParaSubir",
                  [](const Escenario& e) {
                    const auto token = descarga(e).substr(std::string("/almacen/").size());
                    return std::pair{std::string("PUT"), "/almacen/subir/" + token};
                  }},
        FilaFirma{"SubidaUsadaParaBajar",
                  [](const Escenario& e) {
                    const auto ruta = subidaUnica(e);
                    return std::pair{std::string("GET"),
                                     "/almacen/" + ruta.substr(ruta.rfind('/') + 1)};
                  }}),
    [](const auto& info) { return info.param.nombre; });

TEST(Seguridad, UnaSubidaConfirmadaNoAdmiteOtroPut) {
  Escenario e;
  const auto c = e.demo.post("/v1/subidas", {{"carpetaId", e.acme.carpetaRaizId}, {"nombre", "f.bin"},
                                             {"tamanoBytes", 3}, {"tipo", "text/plain"}});
  const auto s = desdeJson<PedidoSubida>(c.json());
  ASSERT_EQ(enviarA(*s.url, "PUT", "abc").estado, 200);
  ASSERT_TRUE(esOk(e.demo.post("/v1/subidas/" + *s.versionId + "/confirmar")));
  const auto otra = enviarA(*s.url, "PUT", "xyz");
  EXPECT_TRUE(esError(otra, 403, "permiso"));
  EXPECT_EQ(descargar(e.demo, s.archivoId), "abc");
}

TEST(Seguridad, OtroUsuarioNoVeUnaEmpresaEnLaQueNoEsta) {
  Escenario e;
  const auto mara = e.mara();
  const auto org = codificar(e.beta.id);
  for (const auto& ruta : {"/v1/papelera?organizacionId=" + org, "/v1/buscar?organizacionId=" + org + "&q=a",
                           "/v1/recientes?organizacionId=" + org,
                           "/v1/favoritos?organizacionId=" + org}) {
    const auto c = mara.get(ruta);
    EXPECT_TRUE(c.estado == 404 || c.estado == 403) << ruta << " → " << c.resumen();
    EXPECT_TRUE(c.error() == "noExiste" || c.error() == "permiso") << ruta << " → " << c.resumen();
    EXPECT_EQ(c.cuerpo.find("guia"), std::string::npos);
  }
  const auto guia = idArchivo(e.demo.carpeta(idCarpeta(e.raizBeta(), "Manuales")), "guia.pdf");
  EXPECT_TRUE(esError(mara.post("/v1/compartir", {{"tipo", "archivo"}, {"id", guia}, {"dias", 7}}),
                      404, "noExiste"));
  EXPECT_TRUE(esError(mara.put("/v1/favoritos", {{"tipo", "archivo"}, {"id", guia}}), 404, "noExiste"));
  EXPECT_EQ(mara.get("/v1/archivos/" + guia + "/miniatura").estado, 404);
  EXPECT_TRUE(esError(mara.post("/v1/subidas", {{"carpetaId", e.beta.carpetaRaizId},
                                                {"nombre", "a.txt"},
                                                {"tamanoBytes", 1},
                                                {"tipo", "text/plain"}}),
                      404, "noExiste"));
}

TEST(Seguridad, LosNombresNuncaSalenDeLaCarpetaDeDatos) {
  Escenario e;
  for (const auto& n : {"..", "../fuera.txt", "../../fuera.txt", "....//fuera.txt", "/fuera.txt"}) {
    EXPECT_TRUE(esError(e.demo.post("/v1/subidas", {{"carpetaId", e.acme.carpetaRaizId},
                                                    {"nombre", n},
                                                    {"tamanoBytes", 5},
                                                    {"tipo", "text/plain"}}),
                        400, "datos"))
        << n;
    EXPECT_TRUE(esError(e.demo.post("/v1/carpetas", {{"padreId", e.acme.carpetaRaizId}, {"nombre", n}}),
                        400, "datos"))
        << n;
  }
  // Valid names that would mean something to a file system.
  subir(e.demo, e.acme.carpetaRaizId, "..\\fuera.txt", "fuera", "text/plain");
  subir(e.demo, e.acme.carpetaRaizId, "%2e%2e%2ffuera.txt", "fuera", "text/plain");
  ASSERT_TRUE(esOk(e.demo.post("/v1/carpetas", {{"padreId", e.acme.carpetaRaizId},
                                                {"nombre", "..\\..\\fuera"}})));
  EXPECT_EQ(e.servicio.detener(), 0) << e.servicio.registroDeErrores();

  std::vector<std::string> arriba;
  for (const auto& entrada : std::filesystem::directory_iterator(e.servicio.raiz()))
    arriba.push_back(entrada.path().filename().string());
  std::ranges::sort(arriba);
  EXPECT_EQ(arriba, (std::vector<std::string>{"datos", "servicio.stderr"}));
  for (const auto& entrada : std::filesystem::recursive_directory_iterator(e.servicio.datos()))
    EXPECT_EQ(entrada.path().filename().string().find("fuera"), std::string::npos)
        << entrada.path() << ": los nombres de archivo del servicio no salen de los nombres";
  EXPECT_FALSE(std::filesystem::exists(e.servicio.raiz().parent_path() / "fuera.txt"));
}

TEST(Seguridad, AlReiniciarSigueTodoYLaDemoNoSeSiembraDosVeces) {
  Escenario e(conPartesChicas, Siembra::propia);
  const auto bytes = bytesDePrueba(200000, 11);
  const auto id = subir(e.demo, e.acme.carpetaRaizId, "persiste.bin", bytes);
  const auto secreto = e.servicio.secretoTotp();
  const auto antes = e.raizAcme();
  e.servicio.reiniciar();

  EXPECT_EQ(e.servicio.secretoTotp(), secreto);
  const ClienteHttp demo(e.servicio.base(), *entrar(e.servicio.base(), correoDemo).token);
  EXPECT_TRUE(esOk(demo.conToken(e.demo.token()).get("/v1/yo"))) << "el token sigue valiendo";
  const auto cuenta = desdeJson<Cuenta>(demo.get("/v1/yo").json());
  EXPECT_EQ(cuenta.organizaciones, e.cuenta.organizaciones);
  const auto ahora = demo.carpeta(e.acme.carpetaRaizId);
  EXPECT_EQ(ahora.carpetas, antes.carpetas);
  EXPECT_EQ(ahora.archivos, antes.archivos);
  EXPECT_EQ(nombres(ahora.archivos), (std::vector<std::string>{"Léeme.txt", "persiste.bin"}));
  EXPECT_EQ(descargar(demo, id), bytes);
  EXPECT_EQ(nombres(demo.carpeta(e.beta.carpetaRaizId).carpetas), std::vector<std::string>{"Manuales"});
  EXPECT_EQ(nombres(demo.carpeta(idCarpeta(ahora, "Fotos")).archivos),
            (std::vector<std::string>{"montaña.png", "playa.jpg"}));
}

}  // namespace
}  // namespace vemlo::pruebas
