// Enumerations and the session context against the reference service.
#include <algorithm>
#include <fstream>

#include "comun.h"
#include "vemlo/cliente.h"

namespace vemlo::finder::pruebas {
namespace {

std::vector<std::size_t> tamanos(const std::vector<std::vector<std::string>>& llamadas) {
  std::vector<std::size_t> n;
  for (const auto& l : llamadas) n.push_back(l.size());
  return n;
}

std::vector<std::string> ordenados(std::vector<std::string> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

using Enumeracion = ConServicio;

TEST_F(Enumeracion, LaPrimeraVezPideEnumerarYDespuesInformaCadaCambioUnaVez) {
  auto ext = extension(acme);
  EXPECT_EQ(comoError(cambios(*ext)->error), fp::Error(fp::syncAnchorExpired));

  const auto inicial = enumerar(*ext, fp::workingSet);
  ASSERT_FALSE(inicial->error);
  EXPECT_EQ(todos(inicial->enumerados).size(), 8u);
  EXPECT_EQ(ext->indice().ancla().bytes, "1");

  const auto& raiz = acme.carpetaRaizId;
  const auto leeme = idEn(raiz, "Léeme.txt"), fotos = idEn(raiz, "Fotos");
  const auto playa = idEn(fotos.substr(2), "playa.jpg"), informes = idEn(raiz, "Informes");
  const auto dosMil = idEn(informes.substr(2), "2026");
  const auto q1 = idEn(dosMil.substr(2), "q1.pdf");
  const Vemlo api(*cuenta.token);
  api.renombrar(Clase::archivo, leeme.substr(2), "Leeme.txt");
  api.mover(Clase::archivo, playa.substr(2), idEn(raiz, "Proyectos").substr(2));
  api.aPapelera(Clase::carpeta, informes.substr(2));
  const auto nuevo = "a:" + subir(demo, raiz, "nuevo.txt", "hola");

  const auto hubo = cambios(*ext, {"1"});
  ASSERT_FALSE(hubo->error);
  EXPECT_EQ(todos(hubo->actualizados), ordenados({leeme, playa, nuevo}));
  EXPECT_EQ(hubo->borrados,
            (std::vector<std::vector<std::string>>{ordenados({informes, dosMil, q1})}));
  EXPECT_EQ(hubo->ancla, fp::SyncAnchor{"2"});
  EXPECT_FALSE(hubo->masPorVenir);

  const auto nada = cambios(*ext, {"2"});
  EXPECT_TRUE(nada->actualizados.empty() && nada->borrados.empty());
  EXPECT_EQ(nada->ancla, fp::SyncAnchor{"3"});
}

TEST_F(Enumeracion, CambiosEnTandasDeDoscientos) {
  auto ext = extension(acme);
  enumerar(*ext, fp::workingSet);
  for (int i = 0; i < 450; ++i) subir(demo, acme.carpetaRaizId, "f" + std::to_string(1000 + i), "");
  const auto hubo = cambios(*ext, {"1"});
  ASSERT_FALSE(hubo->error);
  EXPECT_EQ(tamanos(hubo->actualizados), (std::vector<std::size_t>{200, 200, 50}));
  const auto ids = todos(hubo->actualizados);
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
}

TEST_F(Enumeracion, SinSesion) {
  SesionGuardada::borrar();
  auto ext = extension(acme);
  const auto papelera = enumerar(*ext, fp::trashContainer);
  EXPECT_FALSE(papelera->error);
  EXPECT_TRUE(papelera->enumerados.empty());
  EXPECT_FALSE(papelera->siguiente);

  auto otro = std::make_shared<Observador>();
  ext->enumerator("c:x")->enumerateChanges(otro, {"7"});
  otro->esperar();
  EXPECT_EQ(otro->ancla, fp::SyncAnchor{"7"});

  EXPECT_EQ(comoError(enumerar(*ext, fp::rootContainer)->error), fp::Error(fp::notAuthenticated));
  EXPECT_EQ(comoError(buscar(*ext, fp::rootContainer).error), fp::Error(fp::notAuthenticated));
  EXPECT_TRUE(pedidos().empty());
}

TEST_F(Enumeracion, UnArchivoComoContenedorNoPideNingunaCarpeta) {
  auto ext = extension(acme);
  const auto lista = enumerar(*ext, "a:loquesea");
  EXPECT_FALSE(lista->error);
  EXPECT_TRUE(lista->enumerados.empty());
  EXPECT_EQ(pedidos(), std::vector<std::string>{"GET /v1/yo"});
}

TEST_F(Enumeracion, ElContextoSeGuardaPorToken) {
  auto ext = extension(acme);
  EXPECT_TRUE(buscar(*ext, fp::rootContainer).item);
  EXPECT_TRUE(buscar(*ext, fp::trashContainer).item);
  EXPECT_EQ(pedidos(), std::vector<std::string>{"GET /v1/yo"});

  SesionGuardada::guardar(*entrar(servicio.base(), correoDemo).token);
  pedidos();
  EXPECT_TRUE(buscar(*ext, fp::rootContainer).item);
  EXPECT_EQ(pedidos(), std::vector<std::string>{"GET /v1/yo"});
}

TEST_F(Enumeracion, UnaEmpresaAjenaNoEstaAutenticada) {
  SesionGuardada::guardar(*entrarConMfa(servicio).token);
  auto ext = extension(beta);
  EXPECT_EQ(comoError(buscar(*ext, fp::rootContainer).error), fp::Error(fp::notAuthenticated));
  EXPECT_EQ(comoError(enumerar(*ext, fp::workingSet)->error), fp::Error(fp::notAuthenticated));
}

TEST_F(Enumeracion, UnaEmpresaDeSoloLecturaSoloSeLee) {
  auto ext = extension(beta);
  EXPECT_EQ(buscar(*ext, fp::rootContainer).item->capabilities(), fp::reading);
  const auto todo = todos(enumerar(*ext, fp::workingSet)->enumerados);
  ASSERT_EQ(todo.size(), 3u);
  for (const auto& id : todo) EXPECT_EQ(buscar(*ext, id).item->capabilities(), fp::reading) << id;
  EXPECT_EQ(buscar(*ext, fp::trashContainer).item->capabilities(), 63u);
}

TEST_F(Enumeracion, ElIndiceSobreviveYUnoCortadoPideEnumerarDeNuevo) {
  extension(acme).reset();
  enumerar(*extension(acme), fp::workingSet);
  {
    auto ext = extension(acme);
    const auto hubo = cambios(*ext, {"1"});
    EXPECT_FALSE(hubo->error);
    EXPECT_TRUE(hubo->actualizados.empty());
    EXPECT_EQ(hubo->ancla, fp::SyncAnchor{"2"});
  }
  const auto archivo = *extension(acme)->indice().archivo();
  const auto largo = std::filesystem::file_size(archivo);
  std::filesystem::resize_file(archivo, largo / 2);
  EXPECT_EQ(comoError(cambios(*extension(acme))->error), fp::Error(fp::syncAnchorExpired));
}

}  // namespace
}  // namespace vemlo::finder::pruebas
