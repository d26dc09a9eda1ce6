// The folder and file operations: the exact request each one sends, how each answer is read,
// and the query encoding.
#include <gtest/gtest.h>

#include "servidor_prueba.h"
#include "url.h"
#include "vemlo/cliente.h"
#include "vemlo/transporte_curl.h"

namespace vemlo {
namespace {

using nlohmann::json;

// One answer that every operation can read: it holds every envelope's key.
const json universal = {{"id", "c1"},
                        {"organizacionId", "o1"},
                        {"rol", "editor"},
                        {"ruta", json::array()},
                        {"carpetas", json::array()},
                        {"archivos", json::array()},
                        {"elementos", json::array()},
                        {"resultados", json::array()},
                        {"favoritos", json::array()},
                        {"enlace", "https://v.app/s/t"},
                        {"etag", "\"e1\""},
                        {"url", "/almacen/x"}};

struct FilaOperacion {
  std::string nombre;
  std::function<void(const Vemlo&)> llamar;
  std::string metodo;
  std::string ruta;
  json cuerpo;  // null: no body
  friend void PrintTo(const FilaOperacion& f, std::ostream* os) { *os << f.nombre; }
};

class Operaciones : public testing::TestWithParam<FilaOperacion> {};

TEST_P(Operaciones, EnvianExactamenteEsto) {
  const auto& f = GetParam();
  pruebas::ServidorHttp servidor(
      [](const auto&, auto& r) { r.set_content(universal.dump(), "application/json"); });
  const Vemlo cliente(servidor.base(), "tok", std::make_shared<TransporteCurl>());
  f.llamar(cliente);
  const auto vistos = servidor.vistos();
  ASSERT_EQ(vistos.size(), 1u);
  EXPECT_EQ(vistos[0].metodo, f.metodo);
  EXPECT_EQ(vistos[0].ruta, f.ruta);
  EXPECT_EQ(vistos[0].cuerpo.empty() ? json() : json::parse(vistos[0].cuerpo), f.cuerpo);
  if (f.metodo != "GET") {
    EXPECT_EQ(vistos[0].cabeceras.at("content-type"), "application/json");
  }
}

using V = const Vemlo&;
const json vacio = json::object();

INSTANTIATE_TEST_SUITE_P(
    Carpetas, Operaciones,
    testing::Values(
        FilaOperacion{"VerCarpeta", [](V c) { c.verCarpeta("c%201"); }, "GET", "/v1/carpetas/c%201",
                      nullptr},
        FilaOperacion{"CrearCarpeta",
                      [](V c) { EXPECT_EQ(c.crearCarpeta("p", "Año"), "c1"); },
                      "POST",
                      "/v1/carpetas",
                      {{"padreId", "p"}, {"nombre", "Año"}}},
        FilaOperacion{"RenombrarArchivo",
                      [](V c) { c.renombrar(Clase::archivo, "a1", "n.txt"); },
                      "PATCH",
                      "/v1/archivos/a1",
                      {{"nombre", "n.txt"}}},
        FilaOperacion{"MoverCarpeta",
                      [](V c) { c.mover(Clase::carpeta, "c1", "c2"); },
                      "POST",
                      "/v1/carpetas/c1/mover",
                      {{"destinoId", "c2"}}},
        FilaOperacion{"APapelera", [](V c) { c.aPapelera(Clase::archivo, "a1"); }, "POST",
                      "/v1/archivos/a1/papelera", vacio},
        FilaOperacion{"ListarPapelera", [](V c) { c.listarPapelera("o 1&x"); }, "GET",
                      "/v1/papelera?organizacionId=o%201%26x", nullptr},
        FilaOperacion{"Restaurar",
                      [](V c) { c.restaurar("o1", "carpeta", "c1"); },
                      "POST",
                      "/v1/papelera/restaurar",
                      {{"organizacionId", "o1"}, {"tipo", "carpeta"}, {"id", "c1"}}},
        // "ñ" leaves the query encoding as it is; libcurl escapes its bytes for the wire.
        FilaOperacion{"Buscar", [](V c) { c.buscar("o1", "año 1+1/2"); }, "GET",
                      "/v1/buscar?organizacionId=o1&q=a%c3%b1o%201%2B1%2F2", nullptr},
        FilaOperacion{"Recientes", [](V c) { c.recientes("o1", false); }, "GET",
                      "/v1/recientes?organizacionId=o1", nullptr},
        FilaOperacion{"Medios", [](V c) { c.recientes("o1", true); }, "GET",
                      "/v1/recientes?organizacionId=o1&medios=1", nullptr},
        FilaOperacion{"Favoritos", [](V c) { c.listarFavoritos("o1"); }, "GET",
                      "/v1/favoritos?organizacionId=o1", nullptr},
        FilaOperacion{"MarcarFavorito",
                      [](V c) { c.marcarFavorito("archivo", "a1"); },
                      "PUT",
                      "/v1/favoritos",
                      {{"tipo", "archivo"}, {"id", "a1"}}},
        FilaOperacion{"QuitarFavorito", [](V c) { c.quitarFavorito("archivo", "a 1"); }, "DELETE",
                      "/v1/favoritos/archivo/a%201", vacio},
        FilaOperacion{"Compartir",
                      [](V c) { EXPECT_EQ(c.compartir("archivo", "a1", 7), "https://v.app/s/t"); },
                      "POST",
                      "/v1/compartir",
                      {{"tipo", "archivo"}, {"id", "a1"}, {"dias", 7}}},
        FilaOperacion{"ConfirmarSinPartes", [](V c) { c.confirmarSubida("v1", {}); }, "POST",
                      "/v1/subidas/v1/confirmar", vacio},
        FilaOperacion{"ConfirmarConPartes",
                      [](V c) {
                        c.confirmarSubida("v1", {{1, "a"}, {2, "b"}});
                      },
                      "POST",
                      "/v1/subidas/v1/confirmar",
                      {{"partes", {{{"n", 1}, {"etag", "a"}}, {{"n", 2}, {"etag", "b"}}}}}}),
    [](const auto& info) { return info.param.nombre; });

TEST(Carpetas, SubirParteLlevaSusBytesComoOctetos) {
  pruebas::ServidorHttp servidor(
      [](const auto&, auto& r) { r.set_content(R"({"etag":"e"})", "application/json"); });
  const Vemlo cliente(servidor.base(), "tok", std::make_shared<TransporteCurl>());
  EXPECT_EQ(cliente.subirParte("v1", 3, "xyz"), "e");
  const auto visto = servidor.vistos().at(0);
  EXPECT_EQ(visto.metodo, "PUT");
  EXPECT_EQ(visto.ruta, "/v1/subidas/v1/partes/3");
  EXPECT_EQ(visto.cuerpo, "xyz");
  EXPECT_EQ(visto.cabeceras.at("content-type"), "application/octet-stream");
}

struct FilaRespuestaCruda {
  std::string nombre;
  int estado;
  std::string cuerpo;
  std::optional<std::string> etag;
  std::function<void(const Vemlo&)> comprobar;
  friend void PrintTo(const FilaRespuestaCruda& f, std::ostream* os) { *os << f.nombre; }
};

class RespuestasCrudas : public testing::TestWithParam<FilaRespuestaCruda> {};

TEST_P(RespuestasCrudas, SeJuzganComoDebe) {
  const auto& f = GetParam();
  pruebas::ServidorHttp servidor([&](const auto&, auto& r) {
    r.status = f.estado;
    if (f.etag) r.set_header("ETag", *f.etag);
    r.set_content(f.cuerpo, "application/json");
  });
  f.comprobar(Vemlo(servidor.base(), "tok", std::make_shared<TransporteCurl>()));
}

ErrorVemlo falla(const std::function<void()>& llamada) {
  try {
    llamada();
  } catch (const ErrorVemlo& e) {
    return e;
  }
  return ErrorVemlo::formato("no falló");
}

INSTANTIATE_TEST_SUITE_P(
    Carpetas, RespuestasCrudas,
    testing::Values(
        FilaRespuestaCruda{"MiniaturaQueNoEsta", 404, "", std::nullopt,
                           [](V c) {
                             EXPECT_EQ(falla([&] { c.traerMiniatura("a1"); }),
                                       ErrorVemlo::api(404, "noExiste"));
                           }},
        FilaRespuestaCruda{"MiniaturaVacia", 200, "", std::nullopt,
                           [](V c) { EXPECT_EQ(c.traerMiniatura("a1"), ""); }},
        FilaRespuestaCruda{
            "DescargaRelativa", 200, R"({"url":"/almacen/t?x=1"})", std::nullopt,
            [](V c) { EXPECT_EQ(c.enlaceDescarga("a1"), c.base() + "/almacen/t?x=1"); }},
        FilaRespuestaCruda{
            "DescargaAbsoluta", 200, R"({"url":"https://cdn.vemlo.app/b/t"})", std::nullopt,
            [](V c) { EXPECT_EQ(c.enlaceDescarga("a1"), "https://cdn.vemlo.app/b/t"); }},
        FilaRespuestaCruda{"DescargaInvalida", 200, R"({"url":"no es un enlace"})", std::nullopt,
                           [](V c) {
                             EXPECT_EQ(falla([&] { c.enlaceDescarga("a1"); }),
                                       ErrorVemlo::formato("enlace"));
                           }},
        FilaRespuestaCruda{"DirectoSinEtag", 200, "", std::nullopt,
                           [](V c) {
                             EXPECT_EQ(c.subirDirecto(c.base() + "/firmada", "x", std::nullopt),
                                       std::nullopt);
                           }},
        FilaRespuestaCruda{"DirectoConEtag", 200, "", "\"h\"",
                           [](V c) {
                             EXPECT_EQ(c.subirDirecto(c.base() + "/firmada", "x", "text/plain"),
                                       "\"h\"");
                           }},
        FilaRespuestaCruda{"DirectoRechazado", 503, "", std::nullopt,
                           [](V c) {
                             EXPECT_EQ(
                                 falla([&] { c.subirDirecto(c.base() + "/f", "x", std::nullopt); }),
                                 ErrorVemlo::api(503, "noLlego"));
                           }},
        FilaRespuestaCruda{"DirectoAUnaUrlRelativa", 200, "", std::nullopt,
                           [](V c) {
                             EXPECT_EQ(falla([&] { c.subirDirecto("/f", "x", std::nullopt); }),
                                       ErrorVemlo::formato("enlace"));
                           }}),
    [](const auto& info) { return info.param.nombre; });

TEST(Carpetas, SubirDirectoNoLlevaLasCabecerasDeLaSesion) {
  pruebas::ServidorHttp servidor([](const auto&, auto& r) { r.status = 200; });
  const Vemlo cliente(servidor.base(), "tok", std::make_shared<TransporteCurl>());
  cliente.subirDirecto(servidor.base() + "/firmada?f=1", "abc", "image/png");
  cliente.subirDirecto(servidor.base() + "/firmada?f=2", "abc", std::nullopt);
  const auto vistos = servidor.vistos();
  for (const auto& visto : vistos) {
    EXPECT_EQ(visto.cabeceras.count("authorization"), 0u);
    EXPECT_EQ(visto.cabeceras.count("x-vemlo-app"), 0u);
    EXPECT_EQ(visto.cuerpo, "abc");
  }
  EXPECT_EQ(vistos.at(0).cabeceras.at("content-type"), "image/png");
  EXPECT_EQ(vistos.at(1).cabeceras.count("content-type"), 0u);
}

TEST(Carpetas, UnIdConEspacioNoSeEnviaSinCodificar) {
  pruebas::ServidorHttp servidor(
      [](const auto&, auto& r) { r.set_content("{}", "application/json"); });
  const Vemlo cliente(servidor.base(), "tok", std::make_shared<TransporteCurl>());
  EXPECT_EQ(falla([&] { cliente.renombrar(Clase::archivo, "a 1", "x"); }).caso(),
            ErrorVemlo::Caso::formato);
  EXPECT_TRUE(servidor.vistos().empty());
}

class Consulta : public testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(Consulta, LetrasMarcasYCifrasQuedan) {
  EXPECT_EQ(codificarConsulta(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Carpetas, Consulta,
    testing::Values(std::pair{std::string("a b&c+d/e=f"), std::string("a%20b%26c%2Bd%2Fe%3Df")},
                    std::pair{std::string("Año Ñandú 2026"), std::string("Año%20Ñandú%202026")},
                    std::pair{std::string("-_.~"), std::string("%2D%5F%2E%7E")},
                    std::pair{std::string("e\xcc\x81"), std::string("e\xcc\x81")},
                    std::pair{std::string("\xf0\x9f\x98\x80"), std::string("%F0%9F%98%80")},
                    std::pair{std::string("\xff"
                                          "a"),
                              std::string("%FFa")},
                    std::pair{std::string(""), std::string("")}));

}  // namespace
}  // namespace vemlo
