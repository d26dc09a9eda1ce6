// The company-wide lists through vemlo-cli: search, recent, favorites and share links, as
// tables, as JSON and in Spanish.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

class Listas : public testing::Test, public ConServicio {
 protected:
  void SetUp() override { http = entrarComo(correoDemo); }
  Resultado acme(std::vector<std::string> argumentos, const std::string& idioma = "en") {
    argumentos.insert(argumentos.begin() + 1, {"--company", "Acme"});
    return cli(argumentos, idioma);
  }
  ClienteHttp http{""};
};

TEST_F(Listas, BuscaConLaRutaDeCadaResultado) {
  auto r = acme({"search", "playa"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_TRUE(contiene(r.salida, "TYPE  SIZE")) << r.salida;
  EXPECT_TRUE(contiene(r.salida, "/Fotos/playa.jpg\n")) << r.salida;

  r = acme({"search", "2026", "--json"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  const auto documento = nlohmann::json::parse(r.salida);
  ASSERT_EQ(documento.size(), 1u) << r.salida;
  EXPECT_EQ(documento[0]["tipo"], "carpeta");
  EXPECT_EQ(documento[0]["nombre"], "2026");

  r = acme({"search", "zzz"});
  EXPECT_EQ(r.estado, 0);
  EXPECT_EQ(r.salida, "Nothing matches “zzz”.\n");
  EXPECT_EQ(acme({"search", "zzz"}, "es").salida, "Nada coincide con «zzz».\n");
}

TEST_F(Listas, RecientesConYSinMedios) {
  auto r = acme({"recent", "--json"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  const auto todos = nlohmann::json::parse(r.salida);
  r = acme({"recent", "--media", "--json"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  const auto medios = nlohmann::json::parse(r.salida);
  EXPECT_LE(medios.size(), todos.size());
  for (const auto& archivo : medios)
    EXPECT_TRUE(archivo["tipo"].get<std::string>().starts_with("image/"));
  r = acme({"recent"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  if (!todos.empty()) {
    EXPECT_TRUE(contiene(r.salida, todos[0]["nombre"].get<std::string>()));
  }
}

TEST_F(Listas, FavoritosSeAgreganYSeQuitan) {
  EXPECT_EQ(acme({"favorites"}).salida, "No favorites yet.\n");
  auto r = cli({"favorite", "add", "--company", "Acme", "/Informes/2026/q1.pdf"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Added “/Informes/2026/q1.pdf” to favorites.\n");
  ASSERT_EQ(cli({"favorite", "add", "--company", "Acme", "/Fotos"}).estado, 0);

  r = acme({"favorites"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_TRUE(contiene(r.salida, "folder  -")) << r.salida;
  EXPECT_TRUE(contiene(r.salida, "q1.pdf")) << r.salida;
  r = acme({"favorites", "--json"});
  EXPECT_EQ(nlohmann::json::parse(r.salida).size(), 2u) << r.salida;

  r = cli({"favorite", "remove", "--company", "Acme", "/Fotos"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Removed “/Fotos” from favorites.\n");
  EXPECT_EQ(nlohmann::json::parse(acme({"favorites", "--json"}).salida).size(), 1u);
  r = cli({"favorite", "remove", "--company", "Acme", "/Fotos"});
  EXPECT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "“/Fotos” isn't in your favorites.\n");
  EXPECT_EQ(cli({"favorite", "--company", "Acme"}).estado, 2);
}

TEST_F(Listas, CompartirDaUnEnlaceQueFunciona) {
  const auto r = acme({"share", "/Informes/2026/q1.pdf", "--days", "3"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  ASSERT_FALSE(r.salida.empty());
  const auto enlace = r.salida.substr(0, r.salida.size() - 1);
  EXPECT_EQ(r.salida.back(), '\n');
  EXPECT_EQ(enlace.find('\n'), std::string::npos);
  EXPECT_EQ(enviarA(enlace, "GET").estado, 200) << enlace;

  for (const auto* dias : {"0", "31", "x"}) {
    const auto mal = acme({"share", "/Fotos", "--days", dias});
    EXPECT_EQ(mal.estado, 2) << dias << " " << mal.resumen();
  }
}

}  // namespace
}  // namespace vemlo::pruebas
