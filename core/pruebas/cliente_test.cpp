// The request pipeline end to end against a loopback HTTP server: what each
// request carries, and what each status and body become.
#include <gtest/gtest.h>

#include <set>

#include "servidor_prueba.h"
#include "vemlo/cliente.h"

namespace vemlo {
namespace {

using pruebas::ServidorHttp;

std::set<std::string> nombres(const pruebas::PedidoVisto& visto) {
  std::set<std::string> resultado;
  for (const auto& [nombre, valor] : visto.cabeceras) resultado.insert(nombre);
  return resultado;
}

struct FilaCabeceras {
  std::string nombre;
  std::string metodo;
  std::optional<std::string> token;
  std::optional<nlohmann::json> cuerpo;
  std::string cuerpoEsperado;
  std::set<std::string> cabecerasEsperadas;
};

class Cabeceras : public testing::TestWithParam<FilaCabeceras> {};

TEST_P(Cabeceras, LlevaExactamenteLoQueDebe) {
  const auto& fila = GetParam();
  ServidorHttp servidor([](const auto&, auto& r) { r.set_content("{}", "application/json"); });
  const auto cliente = pruebas::clienteDe(servidor.base() + "/ignorada/", fila.token);

  cliente.llamar<Ok>(fila.metodo, "/v1/yo", fila.cuerpo);

  const auto vistos = servidor.vistos();
  ASSERT_EQ(vistos.size(), 1u);
  const auto& visto = vistos[0];
  EXPECT_EQ(visto.metodo, fila.metodo);
  EXPECT_EQ(visto.ruta, "/v1/yo");
  EXPECT_EQ(visto.cuerpo, fila.cuerpoEsperado);
  EXPECT_EQ(nombres(visto), fila.cabecerasEsperadas);
  EXPECT_EQ(visto.cabeceras.at("x-vemlo-app"), "mac");
  if (fila.token) {
    EXPECT_EQ(visto.cabeceras.at("authorization"), "Bearer " + *fila.token);
  }
  if (fila.metodo != "GET") {
    EXPECT_EQ(visto.cabeceras.at("content-type"), "application/json");
  }
}

const std::set<std::string> deGet{"host", "x-vemlo-app"};
const std::set<std::string> deGetConToken{"host", "x-vemlo-app", "authorization"};
const std::set<std::string> conCuerpo{"host", "x-vemlo-app", "authorization", "content-type",
                                      "content-length"};

INSTANTIATE_TEST_SUITE_P(
    Pipeline, Cabeceras,
    testing::Values(FilaCabeceras{"GetConToken", "GET", "t0k", std::nullopt, "", deGetConToken},
                    FilaCabeceras{"GetSinToken", "GET", std::nullopt, std::nullopt, "", deGet},
                    FilaCabeceras{"GetIgnoraElCuerpo", "GET", "t0k", nlohmann::json{{"a", 1}}, "",
                                  deGetConToken},
                    FilaCabeceras{"DeleteSinCuerpoLlevaLlaves", "DELETE", "t0k", std::nullopt, "{}",
                                  conCuerpo},
                    FilaCabeceras{"PostConCuerpo", "POST", "t0k", nlohmann::json{{"nombre", "Año"}},
                                  "{\"nombre\":\"Año\"}", conCuerpo},
                    FilaCabeceras{"PatchSinCuerpo", "PATCH", "t0k", std::nullopt, "{}", conCuerpo}),
    pruebas::porNombre);

struct FilaRespuesta {
  std::string nombre;
  int estado;
  std::string cuerpo;
  bool quiereCuenta;  // else Ok
  std::optional<ErrorVemlo> error;
};

class Respuestas : public testing::TestWithParam<FilaRespuesta> {};

TEST_P(Respuestas, SeDecodificanOFallanComoDebe) {
  const auto& fila = GetParam();
  ServidorHttp servidor([&](const auto&, auto& r) {
    r.status = fila.estado;
    r.set_content(fila.cuerpo, "application/json");
  });
  const auto cliente = pruebas::clienteDe(servidor.base());
  const auto error = pruebas::falla([&] {
    if (fila.quiereCuenta)
      cliente.llamar<Cuenta>("GET", "/v1/yo");
    else
      cliente.llamar<Ok>("DELETE", "/v1/sesiones");
  });
  ASSERT_EQ(error.has_value(), fila.error.has_value()) << (error ? error->what() : "sin fallo");
  if (error && fila.error->caso() == ErrorVemlo::Caso::formato)
    EXPECT_EQ(error->caso(), ErrorVemlo::Caso::formato);
  else
    EXPECT_EQ(error, fila.error);
}

const std::string cuenta =
    R"({"usuario":{"id":"u","nombre":"Ana","correo":"a@b.c"},"organizaciones":[]})";
const auto formato = ErrorVemlo::formato({});

INSTANTIATE_TEST_SUITE_P(
    Pipeline, Respuestas,
    testing::Values(
        FilaRespuesta{"CodigoDelCuerpo", 404, R"({"error":"noExiste"})", false,
                      ErrorVemlo::api(404, "noExiste")},
        FilaRespuesta{"SesionVencida", 401, R"({"error":"sesion"})", true,
                      ErrorVemlo::api(401, "sesion")},
        FilaRespuesta{"CuatrocientosVacio", 404, "", false, ErrorVemlo::api(404, "desconocido")},
        FilaRespuesta{"QuinientosHtml", 503, "<html>caído</html>", false,
                      ErrorVemlo::api(503, "servidor")},
        FilaRespuesta{"CodigoNoTexto", 422, R"({"error":5})", false,
                      ErrorVemlo::api(422, "desconocido")},
        FilaRespuesta{"ObjetoVacio", 500, "{}", false, ErrorVemlo::api(500, "servidor")},
        FilaRespuesta{"CuerpoLista", 400, R"(["error"])", false,
                      ErrorVemlo::api(400, "desconocido")},
        FilaRespuesta{"CodigoEnQuinientos", 502, R"({"error":"almacen","x":1})", false,
                      ErrorVemlo::api(502, "almacen")},
        FilaRespuesta{"SinContenidoEsOk", 204, "", false, std::nullopt},
        FilaRespuesta{"VacioEsOk", 200, "", false, std::nullopt},
        FilaRespuesta{"VacioNoEsCuenta", 200, "", true, formato},
        FilaRespuesta{"HtmlNoEsOk", 200, "<html></html>", false, formato},
        FilaRespuesta{"ListaEsOk", 200, "[1,2]", false, std::nullopt},
        FilaRespuesta{"UtfInvalido", 200, "{\"usuario\":\"\xff\"}", true, formato},
        FilaRespuesta{"CuentaCompleta", 200, cuenta, true, std::nullopt},
        FilaRespuesta{"RedireccionEsExito", 302, "", false, std::nullopt}),
    pruebas::porNombre);

struct FilaRuta {
  std::string nombre;
  std::string base;
  std::string ruta;
  std::optional<std::string> url;  // none: the path cannot be resolved
};

class Rutas : public testing::TestWithParam<FilaRuta> {};

TEST_P(Rutas, SeResuelvenContraLaBase) {
  const auto& fila = GetParam();
  const auto cliente = pruebas::clienteDe(fila.base, std::nullopt);
  if (fila.url) {
    EXPECT_EQ(cliente.armarPedido("GET", fila.ruta).url, *fila.url);
  } else {
    const auto error = pruebas::falla([&] { cliente.armarPedido("GET", fila.ruta); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->caso(), ErrorVemlo::Caso::formato);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pipeline, Rutas,
    testing::Values(FilaRuta{"ReemplazaLaRutaDeLaBase", "https://vemlo.app/algo/", "/v1/yo",
                             "https://vemlo.app/v1/yo"},
                    FilaRuta{"ConservaLaConsulta", "http://127.0.0.1:9",
                             "/v1/papelera?organizacionId=a%2Fb%20c",
                             "http://127.0.0.1:9/v1/papelera?organizacionId=a%2Fb%20c"},
                    FilaRuta{"EspacioSinEscapar", "https://vemlo.app", "/v1/carpetas/a b",
                             std::nullopt},
                    FilaRuta{"ControlSinEscapar", "https://vemlo.app", "/v1/a\nb", std::nullopt},
                    FilaRuta{"BaseInvalida", "no es una url", "/v1/yo", std::nullopt}),
    pruebas::porNombre);

struct FilaNoSeEnvia {
  std::string nombre;
  std::string token;
  std::function<void(const Vemlo&)> llamar;
};

class NoSeEnvia : public testing::TestWithParam<FilaNoSeEnvia> {};

TEST_P(NoSeEnvia, EsFormatoSinTocarLaRed) {
  ServidorHttp servidor([](const auto&, auto& r) { r.set_content("{}", "application/json"); });
  const auto error = pruebas::falla(
      [&] { GetParam().llamar(pruebas::clienteDe(servidor.base(), GetParam().token)); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->caso(), ErrorVemlo::Caso::formato);
  EXPECT_TRUE(servidor.vistos().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Pipeline, NoSeEnvia,
    testing::Values(FilaNoSeEnvia{"TokenConSaltoDeLinea", "t0k\r\nX-Otra: 1",
                                  [](const Vemlo& c) { c.llamar<Ok>("GET", "/v1/yo"); }},
                    FilaNoSeEnvia{
                        "CuerpoNoUtf8", "t0k",
                        [](const Vemlo& c) {
                          c.llamar<Ok>("POST", "/v1/carpetas", nlohmann::json{{"nombre", "\xff"}});
                        }},
                    FilaNoSeEnvia{"IdConEspacio", "t0k",
                                  [](const Vemlo& c) { c.renombrar(Clase::archivo, "a 1", "x"); }}),
    pruebas::porNombre);

}  // namespace
}  // namespace vemlo
