// The trash and restoring from it, search, recent files and favourites. Each suite has a
// service of its own, since these lists take in the whole company.
#include <thread>

#include "comun.h"

namespace vemlo::pruebas {
namespace {

class Papelera : public Compartida {};
class Busqueda : public Compartida {};
class Recientes : public Compartida {};
class Favoritos : public Compartida {};

// The company's trash, the most recent first.
std::vector<EnPapelera> papelera(const Escenario& e) {
  return e.demo.leer<RElementos>("/v1/papelera?organizacionId=" + codificar(e.acme.id)).valor;
}

Contestacion aPapelera(const Escenario& e, const std::string& tipo, const std::string& id) {
  return e.demo.post("/v1/" + tipo + "/" + id + "/papelera");
}

Contestacion restaurar(const Escenario& e, const std::string& tipo, const std::string& id) {
  return e.demo.post("/v1/papelera/restaurar",
                     {{"organizacionId", e.acme.id}, {"tipo", tipo}, {"id", id}});
}

std::vector<ResultadoBusqueda> buscar(const Escenario& e, const std::string& texto) {
  return e.demo
      .leer<RResultados>("/v1/buscar?organizacionId=" + codificar(e.acme.id) +
                         "&q=" + codificar(texto))
      .valor;
}

TEST_F(Papelera, UnaCarpetaSeVaConSuSubarbolYVuelveConTodoAlPadreViejo) {
  auto& e = compartido();
  const auto caso = carpetaNueva(e);
  const auto informes = crearCarpeta(e.demo, caso, "Informes");
  crearCarpeta(e.demo, caso, "Otra");
  const auto id2026 = crearCarpeta(e.demo, informes, "2026");
  subir(e.demo, id2026, "papelera-unico.pdf", "%PDF", "application/pdf");
  const auto antes = papelera(e).size();
  ASSERT_TRUE(esOk(aPapelera(e, "carpetas", informes)));

  // Only the folder itself is listed.
  const auto lista = papelera(e);
  ASSERT_EQ(lista.size(), antes + 1);
  EXPECT_EQ(lista[0].tipo, "carpeta");
  EXPECT_EQ(lista[0].id, informes);
  EXPECT_EQ(lista[0].nombre, "Informes");
  EXPECT_TRUE(esFecha(lista[0].borradoEn)) << lista[0].borradoEn;
  EXPECT_EQ(nombres(e.demo.carpeta(caso).carpetas), std::vector<std::string>{"Otra"});
  EXPECT_TRUE(esError(e.demo.get("/v1/carpetas/" + id2026), 404, "noExiste"));
  EXPECT_TRUE(buscar(e, "papelera-unico").empty());

  ASSERT_TRUE(esOk(restaurar(e, "carpeta", informes)));
  EXPECT_EQ(papelera(e).size(), antes);
  EXPECT_EQ(idCarpeta(e.demo.carpeta(caso), "Informes"), informes);
  EXPECT_EQ(nombres(e.demo.carpeta(id2026).archivos),
            std::vector<std::string>{"papelera-unico.pdf"});
}

TEST_F(Papelera, LaMasRecienteVaPrimero) {
  auto& e = compartido();
  const auto caso = carpetaNueva(e);
  ASSERT_TRUE(esOk(aPapelera(e, "archivos", subir(e.demo, caso, "Léeme.txt", "x", "text/plain"))));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(esOk(aPapelera(e, "carpetas", crearCarpeta(e.demo, caso, "Proyectos"))));
  const auto lista = papelera(e);
  ASSERT_GE(lista.size(), 2u);
  EXPECT_EQ(lista[0].nombre, "Proyectos");
  EXPECT_EQ(lista[1].nombre, "Léeme.txt");
  EXPECT_EQ(lista[1].tipo, "archivo");
}

TEST_F(Papelera, SinElPadreSeRestauraEnLaRaiz) {
  auto& e = compartido();
  const auto id2026 = crearCarpeta(e.demo, carpetaNueva(e), "2026");
  const auto q1 = subir(e.demo, id2026, "restaurado-en-la-raiz.pdf", "%PDF", "application/pdf");
  ASSERT_TRUE(esOk(aPapelera(e, "archivos", q1)));
  ASSERT_TRUE(esOk(aPapelera(e, "carpetas", id2026)));
  const auto antes = papelera(e).size();
  ASSERT_TRUE(esOk(restaurar(e, "archivo", q1)));
  EXPECT_EQ(idArchivo(e.raizAcme(), "restaurado-en-la-raiz.pdf"), q1);
  const auto lista = papelera(e);
  ASSERT_EQ(lista.size(), antes - 1);
  EXPECT_EQ(lista[0].id, id2026);
}

TEST_F(Busqueda, IgnoraMayusculasYAcentosYDaLaRuta) {
  auto& e = compartido();
  const auto fotos = idCarpeta(e.raizAcme(), "Fotos");

  auto hits = buscar(e, "LEEME");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].nombre, "Léeme.txt");
  EXPECT_EQ(hits[0].tipo, "archivo");
  EXPECT_EQ(hits[0].carpetaId, e.acme.carpetaRaizId);
  EXPECT_EQ(hits[0].ruta, std::vector<std::string>{"Acme"});
  EXPECT_TRUE(hits[0].tamanoBytes);
  EXPECT_TRUE(esFecha(hits[0].fecha)) << hits[0].fecha;

  hits = buscar(e, "MONTANA");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].nombre, "montaña.png");
  EXPECT_EQ(hits[0].carpetaId, fotos);
  EXPECT_EQ(hits[0].ruta, (std::vector<std::string>{"Acme", "Fotos"}));

  EXPECT_EQ(buscar(e, "léeme").size(), 1u);

  hits = buscar(e, "q1");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].ruta, (std::vector<std::string>{"Acme", "Informes", "2026"}));

  hits = buscar(e, "nform");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].tipo, "carpeta");
  EXPECT_EQ(hits[0].ruta, std::vector<std::string>{"Acme"});
  EXPECT_FALSE(hits[0].tamanoBytes);
}

TEST_F(Busqueda, SoloEnLaEmpresaYFueraDeLaPapelera) {
  auto& e = compartido();
  EXPECT_TRUE(buscar(e, "guia").empty());
  EXPECT_TRUE(buscar(e, "zzz-nada").empty());
  const auto recuerdos = crearCarpeta(e.demo, carpetaNueva(e), "Recuerdos");
  subir(e.demo, recuerdos, "arena.jpg", "x", "image/jpeg");
  ASSERT_EQ(buscar(e, "arena").size(), 1u);
  ASSERT_TRUE(esOk(aPapelera(e, "carpetas", recuerdos)));
  EXPECT_TRUE(buscar(e, "arena").empty());
  EXPECT_TRUE(buscar(e, "Recuerdos").empty());
}

TEST_F(Busqueda, DaComoMucho200) {
  auto& e = compartido();
  const auto lote = carpetaNueva(e);
  for (int i = 0; i < 205; ++i)
    ASSERT_TRUE(esOk(e.demo.post("/v1/carpetas",
                                 {{"padreId", lote}, {"nombre", "pieza-" + std::to_string(i)}})));
  EXPECT_EQ(buscar(e, "pieza-").size(), 200u);
}

TEST_F(Recientes, ElUltimoCambioVaPrimeroComoMucho100YMediosSoloImagenesYVideos) {
  auto& e = compartido();
  const auto ruta = "/v1/recientes?organizacionId=" + codificar(e.acme.id);
  auto todos = e.demo.leer<RArchivos>(ruta).valor;
  EXPECT_EQ(todos.size(), 4u) << "Léeme.txt, q1.pdf, playa.jpg, montaña.png";
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const auto nuevo = subir(e.demo, e.acme.carpetaRaizId, "nuevo.txt", "hola", "text/plain");
  todos = e.demo.leer<RArchivos>(ruta).valor;
  ASSERT_EQ(todos.size(), 5u);
  EXPECT_EQ(todos[0].id, nuevo);
  EXPECT_EQ(todos[0].carpetaId, std::optional(e.acme.carpetaRaizId));
  for (const auto& a : todos) EXPECT_TRUE(a.carpetaId) << a.nombre;

  const auto medios = e.demo.leer<RArchivos>(ruta + "&medios=1").valor;
  auto vistos = nombres(medios);
  std::ranges::sort(vistos);
  EXPECT_EQ(vistos, (std::vector<std::string>{"montaña.png", "playa.jpg"}));

  const auto caso = carpetaNueva(e);
  for (int i = 0; i < 101; ++i)
    subir(e.demo, caso, "vacio-" + std::to_string(i) + ".txt", "", "text/plain");
  EXPECT_EQ(e.demo.leer<RArchivos>(ruta).valor.size(), 100u);
}

TEST_F(Favoritos, SonDeCadaUsuarioYSeQuitan) {
  auto& e = compartido();
  const auto raiz = e.raizAcme();
  const auto leeme = archivo(raiz, "Léeme.txt");
  const auto fotos = idCarpeta(raiz, "Fotos");
  const auto ruta = "/v1/favoritos?organizacionId=" + codificar(e.acme.id);
  EXPECT_TRUE(e.demo.leer<RFavoritos>(ruta).valor.empty());
  ASSERT_TRUE(esOk(e.demo.put("/v1/favoritos", {{"tipo", "archivo"}, {"id", leeme.id}})));
  ASSERT_TRUE(esOk(e.demo.put("/v1/favoritos", {{"tipo", "carpeta"}, {"id", fotos}})));

  auto lista = e.demo.leer<RFavoritos>(ruta).valor;
  ASSERT_EQ(lista.size(), 2u);
  const auto& deArchivo = lista[0].tipo == "archivo" ? lista[0] : lista[1];
  const auto& deCarpeta = lista[0].tipo == "carpeta" ? lista[0] : lista[1];
  EXPECT_EQ(deArchivo.id, leeme.id);
  EXPECT_EQ(deArchivo.nombre, "Léeme.txt");
  EXPECT_EQ(deArchivo.carpetaId, e.acme.carpetaRaizId);
  EXPECT_EQ(deArchivo.tamanoBytes, std::optional(leeme.tamanoBytes));
  EXPECT_EQ(deArchivo.tipoArchivo, std::optional<std::string>("text/plain"));
  EXPECT_TRUE(esFecha(deArchivo.fecha)) << deArchivo.fecha;
  EXPECT_EQ(deCarpeta.id, fotos);
  EXPECT_EQ(deCarpeta.nombre, "Fotos");
  EXPECT_EQ(deCarpeta.carpetaId, e.acme.carpetaRaizId);
  EXPECT_FALSE(deCarpeta.tamanoBytes);

  EXPECT_TRUE(e.mara().leer<RFavoritos>(ruta).valor.empty()) << "los favoritos son por usuario";

  ASSERT_TRUE(esOk(e.demo.del("/v1/favoritos/archivo/" + codificar(leeme.id))));
  lista = e.demo.leer<RFavoritos>(ruta).valor;
  ASSERT_EQ(lista.size(), 1u);
  EXPECT_EQ(lista[0].id, fotos);
}

}  // namespace
}  // namespace vemlo::pruebas
