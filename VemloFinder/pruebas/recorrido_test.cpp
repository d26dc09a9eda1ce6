// The crawl against the reference service: a failing or malformed folder view changes nothing,
// and a company over the record limit loses nothing below the folders the crawl did not reach.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

#include "comun.h"
#include "vemlo/cliente.h"

namespace vemlo::finder::pruebas {
namespace {

std::optional<ErrorVemlo> falla(const std::function<void()>& llamada) {
  try {
    llamada();
  } catch (const ErrorVemlo& e) {
    return e;
  }
  return std::nullopt;
}

struct FilaFallo {
  std::string nombre;
  nlohmann::json regla;  // for the views of the folder "Fotos"
  ErrorVemlo::Caso caso;
  std::string detalle;  // of a formato failure
};

class FalloEnElRecorrido : public ConServicio, public testing::WithParamInterface<FilaFallo> {};

TEST_P(FalloEnElRecorrido, NoCambiaNadaNiInformaNada) {
  auto ext = extension(acme);
  ASSERT_FALSE(enumerar(*ext, fp::workingSet)->error);
  const auto antes = ext->indice().todas();
  const auto archivo = *ext->indice().archivo();
  const auto escrito = std::filesystem::last_write_time(archivo);
  const auto fotos = idEn(acme.carpetaRaizId, "Fotos");
  Vemlo(*cuenta.token).aPapelera(Clase::archivo, idEn(acme.carpetaRaizId, "Léeme.txt").substr(2));

  auto regla = GetParam().regla;
  regla["ruta"] = "^/v1/carpetas/" + fotos.substr(2) + "$";
  regla["veces"] = 1;
  ponerFallos(servicio.base(), nlohmann::json::array({regla}));
  const auto hubo = cambios(*ext, {"1"});
  EXPECT_TRUE(hubo->error);
  EXPECT_TRUE(hubo->actualizados.empty() && hubo->borrados.empty());
  EXPECT_EQ(ext->indice().ancla().bytes, "1");
  EXPECT_EQ(ext->indice().todas().size(), antes.size());
  EXPECT_EQ(std::filesystem::last_write_time(archivo), escrito);

  ponerFallos(servicio.base(), nlohmann::json::array({regla}));
  const auto error = falla([&] { ext->recorrer(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->caso(), GetParam().caso);
  const bool formato = error->caso() == ErrorVemlo::Caso::formato;
  EXPECT_EQ(formato ? error->detalle() : "", GetParam().detalle);
}

INSTANTIATE_TEST_SUITE_P(
    Reglas, FalloEnElRecorrido,
    testing::Values(FilaFallo{"Servidor503", {{"estado", 503}}, ErrorVemlo::Caso::api, ""},
                    FilaFallo{"Cortada", {{"cortar", true}}, ErrorVemlo::Caso::red, ""},
                    FilaFallo{"VistaSinCampos",
                              {{"estado", 200}, {"error", "x"}},
                              ErrorVemlo::Caso::formato,
                              "id: falta la clave"}),
    [](const auto& info) { return info.param.nombre; });

using SobreElLimite = ConServicio;

// Acme's root holds four items; a limit of three stops the crawl after the root's view.
TEST_F(SobreElLimite, NoBorraLoQueNoVioYLoDice) {
  auto ext = extension(acme);
  ASSERT_FALSE(enumerar(*ext, fp::workingSet)->error);
  const auto& raiz = acme.carpetaRaizId;
  const auto fotos = idEn(raiz, "Fotos"), informes = idEn(raiz, "Informes");
  const auto playa = idEn(fotos.substr(2), "playa.jpg"), leeme = idEn(raiz, "Léeme.txt");
  const auto dosMil = idEn(informes.substr(2), "2026");
  const auto q1 = idEn(dosMil.substr(2), "q1.pdf");
  const Vemlo api(*cuenta.token);
  api.aPapelera(Clase::archivo, playa.substr(2));
  api.renombrar(Clase::archivo, leeme.substr(2), "Leeme.txt");
  ext->ponerLimite(3);

  const auto cortada = cambios(*ext, {"1"});
  ASSERT_FALSE(cortada->error);
  EXPECT_EQ(todos(cortada->actualizados), std::vector<std::string>{leeme});
  EXPECT_TRUE(cortada->borrados.empty());
  EXPECT_TRUE(ext->sobreLimite());
  EXPECT_TRUE(ext->indice().consultar(playa));

  api.aPapelera(Clase::carpeta, informes.substr(2));
  const auto sinInformes = cambios(*ext, {"2"});
  std::vector<std::string> bajoInformes{informes, dosMil, q1};
  std::sort(bajoInformes.begin(), bajoInformes.end());
  EXPECT_EQ(sinInformes->borrados, std::vector<std::vector<std::string>>{bajoInformes});

  ext->ponerLimite(100'000);
  const auto entera = cambios(*ext, {"3"});
  EXPECT_EQ(entera->borrados, (std::vector<std::vector<std::string>>{{playa}}));
  EXPECT_FALSE(ext->sobreLimite());
}

}  // namespace
}  // namespace vemlo::finder::pruebas
