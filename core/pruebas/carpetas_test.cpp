// The folder and file operations: the exact request each one sends, how each
// answer is read, and the query encoding.
#include <gtest/gtest.h>

#include "servidor_prueba.h"
#include "url.h"

namespace vemlo {
namespace {

using nlohmann::json;
using pruebas::falla;
using pruebas::FilaOperacion;
using pruebas::Operaciones;

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
                        {"url", "/almacen/x"},
                        {"usuario", {{"id", "u1"}, {"nombre", "Ana"}, {"correo", "a@v.test"}}},
                        {"organizaciones", json::array()},
                        {"token", "tok-nuevo"}};

json comoJson(const std::string& texto) {
  return texto.empty() ? json() : json::parse(texto);
}

}  // namespace

namespace pruebas {

TEST_P(Operaciones, EnvianExactamenteEsto) {
  const auto& f = GetParam();
  ServidorHttp servidor(
      [](const auto&, auto& r) { r.set_content(universal.dump(), "application/json"); });
  f.llamar(clienteDe(servidor.base()));
  const auto vistos = servidor.vistos();
  ASSERT_EQ(vistos.size(), 1u);
  EXPECT_EQ(vistos[0].metodo, f.metodo);
  EXPECT_EQ(vistos[0].ruta, f.ruta);
  EXPECT_EQ(comoJson(vistos[0].cuerpo), comoJson(f.cuerpo));
  EXPECT_EQ(vistos[0].cabeceras.at("authorization"), "Bearer tok");
  const bool conTipo = f.metodo != "GET";
  ASSERT_EQ(vistos[0].cabeceras.count("content-type"), conTipo ? 1u : 0u);
  if (conTipo) {
    EXPECT_EQ(vistos[0].cabeceras.at("content-type"), "application/json");
  }
}

}  // namespace pruebas

namespace {

using V = const Vemlo&;

INSTANTIATE_TEST_SUITE_P(
    Carpetas, Operaciones,
    testing::Values(
        FilaOperacion{"VerCarpeta", [](V c) { c.verCarpeta("c%201"); }, "GET",
                      "/v1/carpetas/c%201"},
        FilaOperacion{"CrearCarpeta", [](V c) { EXPECT_EQ(c.crearCarpeta("p", "Año"), "c1"); },
                      "POST", "/v1/carpetas", R"({"padreId":"p","nombre":"Año"})"},
        FilaOperacion{"RenombrarArchivo", [](V c) { c.renombrar(Clase::archivo, "a1", "n.txt"); },
                      "PATCH", "/v1/archivos/a1", R"({"nombre":"n.txt"})"},
        FilaOperacion{"MoverCarpeta", [](V c) { c.mover(Clase::carpeta, "c1", "c2"); }, "POST",
                      "/v1/carpetas/c1/mover", R"({"destinoId":"c2"})"},
        FilaOperacion{"APapelera", [](V c) { c.aPapelera(Clase::archivo, "a1"); }, "POST",
                      "/v1/archivos/a1/papelera", "{}"},
        FilaOperacion{"ListarPapelera", [](V c) { c.listarPapelera("o 1&x"); }, "GET",
                      "/v1/papelera?organizacionId=o%201%26x"},
        FilaOperacion{"Restaurar", [](V c) { c.restaurar("o1", "carpeta", "c1"); }, "POST",
                      "/v1/papelera/restaurar",
                      R"({"organizacionId":"o1","tipo":"carpeta","id":"c1"})"},
        // "ñ" leaves the query encoding as it is; libcurl escapes its bytes for
        // the wire.
        FilaOperacion{"Buscar", [](V c) { c.buscar("o1", "año 1+1/2"); }, "GET",
                      "/v1/buscar?organizacionId=o1&q=a%c3%b1o%201%2B1%2F2"},
        FilaOperacion{"Recientes", [](V c) { c.recientes("o1", false); }, "GET",
                      "/v1/recientes?organizacionId=o1"},
        FilaOperacion{"Medios", [](V c) { c.recientes("o1", true); }, "GET",
                      "/v1/recientes?organizacionId=o1&medios=1"},
        FilaOperacion{"Favoritos", [](V c) { c.listarFavoritos("o1"); }, "GET",
                      "/v1/favoritos?organizacionId=o1"},
        FilaOperacion{"MarcarFavorito", [](V c) { c.marcarFavorito("archivo", "a1"); }, "PUT",
                      "/v1/favoritos", R"({"tipo":"archivo","id":"a1"})"},
        FilaOperacion{"QuitarFavorito", [](V c) { c.quitarFavorito("archivo", "a 1"); }, "DELETE",
                      "/v1/favoritos/archivo/a%201", "{}"},
        FilaOperacion{"Compartir",
                      [](V c) { EXPECT_EQ(c.compartir("archivo", "a1", 7), "https://v.app/s/t"); },
                      "POST", "/v1/compartir", R"({"tipo":"archivo","id":"a1","dias":7})"},
        FilaOperacion{"ConfirmarSinPartes", [](V c) { c.confirmarSubida("v1", {}); }, "POST",
                      "/v1/subidas/v1/confirmar", "{}"},
        FilaOperacion{"ConfirmarConPartes",
                      [](V c) {
                        c.confirmarSubida("v1", {{1, "a"}, {2, "b"}});
                      },
                      "POST", "/v1/subidas/v1/confirmar",
                      R"({"partes":[{"n":1,"etag":"a"},{"n":2,"etag":"b"}]})"}),
    pruebas::porNombre);

TEST(Carpetas, SubirParteLlevaSusBytesComoOctetos) {
  pruebas::ServidorHttp servidor(
      [](const auto&, auto& r) { r.set_content(R"({"etag":"e"})", "application/json"); });
  EXPECT_EQ(pruebas::clienteDe(servidor.base()).subirParte("v1", 3, "xyz"), "e");
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
};

class RespuestasCrudas : public testing::TestWithParam<FilaRespuestaCruda> {};

TEST_P(RespuestasCrudas, SeJuzganComoDebe) {
  const auto& f = GetParam();
  pruebas::ServidorHttp servidor([&](const auto&, auto& r) {
    r.status = f.estado;
    if (f.etag) r.set_header("ETag", *f.etag);
    r.set_content(f.cuerpo, "application/json");
  });
  f.comprobar(pruebas::clienteDe(servidor.base()));
}

using Fila = FilaRespuestaCruda;
const auto formatoEnlace = ErrorVemlo::formato("enlace");

INSTANTIATE_TEST_SUITE_P(
    Carpetas, RespuestasCrudas,
    testing::Values(
        Fila{"MiniaturaQueNoEsta",
             404,
             "",
             {},
             [](V c) {
               EXPECT_EQ(falla([&] { c.traerMiniatura("a1"); }), ErrorVemlo::api(404, "noExiste"));
             }},
        Fila{"MiniaturaVacia", 200, "", {}, [](V c) { EXPECT_EQ(c.traerMiniatura("a1"), ""); }},
        Fila{"DescargaRelativa",
             200,
             R"({"url":"/almacen/t?x=1"})",
             {},
             [](V c) { EXPECT_EQ(c.enlaceDescarga("a1"), c.base() + "/almacen/t?x=1"); }},
        Fila{"DescargaAbsoluta",
             200,
             R"({"url":"https://cdn.vemlo.app/b/t"})",
             {},
             [](V c) { EXPECT_EQ(c.enlaceDescarga("a1"), "https://cdn.vemlo.app/b/t"); }},
        Fila{"DescargaInvalida",
             200,
             R"({"url":"no es un enlace"})",
             {},
             [](V c) { EXPECT_EQ(falla([&] { c.enlaceDescarga("a1"); }), formatoEnlace); }},
        Fila{"DirectoSinEtag",
             200,
             "",
             {},
             [](V c) { EXPECT_EQ(c.subirDirecto(c.base() + "/f", "x", {}), std::nullopt); }},
        Fila{"DirectoConEtag", 200, "", "\"h\"",
             [](V c) { EXPECT_EQ(c.subirDirecto(c.base() + "/f", "x", "text/plain"), "\"h\""); }},
        Fila{"DirectoRechazado",
             503,
             "",
             {},
             [](V c) {
               EXPECT_EQ(falla([&] { c.subirDirecto(c.base() + "/f", "x", {}); }),
                         ErrorVemlo::api(503, "noLlego"));
             }},
        Fila{"DirectoAUnaUrlRelativa",
             200,
             "",
             {},
             [](V c) { EXPECT_EQ(falla([&] { c.subirDirecto("/f", "x", {}); }), formatoEnlace); }}),
    pruebas::porNombre);

TEST(Carpetas, SubirDirectoNoLlevaLasCabecerasDeLaSesion) {
  pruebas::ServidorHttp servidor([](const auto&, auto& r) { r.status = 200; });
  const auto cliente = pruebas::clienteDe(servidor.base());
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

class Consulta : public testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(Consulta, LetrasMarcasYCifrasQuedan) {
  EXPECT_EQ(codificarConsulta(GetParam().first), GetParam().second);
}

using Par = std::pair<std::string, std::string>;

INSTANTIATE_TEST_SUITE_P(Carpetas, Consulta,
                         testing::Values(Par{"a b&c+d/e=f", "a%20b%26c%2Bd%2Fe%3Df"},
                                         Par{"Año Ñandú 2026", "Año%20Ñandú%202026"},
                                         Par{"-_.~", "%2D%5F%2E%7E"}, Par{"e\xcc\x81", "e\xcc\x81"},
                                         Par{"\xf0\x9f\x98\x80", "%F0%9F%98%80"},
                                         Par{"\xff"
                                             "a",
                                             "%FFa"},
                                         Par{"", ""}));

}  // namespace
}  // namespace vemlo
