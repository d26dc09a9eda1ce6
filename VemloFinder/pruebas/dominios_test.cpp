// The domain registry: its changes, its file as others read it, what it makes of a damaged
// file, the mount points, and two processes changing it at once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <system_error>

#include <nlohmann/json.hpp>

#include "finder/dominios.h"

namespace vemlo::finder {
namespace {

namespace fs = std::filesystem;
using Dominios = std::vector<DominioRegistrado>;

DominioRegistrado dominio(std::string id, std::string nombre, bool activo = true) {
  return {std::move(id), std::move(nombre), activo};
}

void escribirArchivo(const std::string& bytes) {
  fs::create_directories(archivoDeDominios().parent_path());
  std::ofstream(archivoDeDominios(), std::ios::binary) << bytes;
}

nlohmann::json archivo() {
  return nlohmann::json::parse(std::ifstream(archivoDeDominios()));
}

ino_t inodo() {
  struct stat datos {};
  stat(archivoDeDominios().c_str(), &datos);
  return datos.st_ino;
}

TEST(Dominios, SinArchivoNoHayNinguno) {
  EXPECT_EQ(archivoDeDominios(), fs::path(std::getenv("XDG_CONFIG_HOME")) / "vemlo/dominios.json");
  EXPECT_TRUE(getDomains().empty());
  removeDomain("a");
  setUserEnabled("a", false);
  removeAllDomains();
  EXPECT_FALSE(fs::exists(archivoDeDominios()));
}

TEST(Dominios, AltasCambiosYBajas) {
  addDomain(dominio("a", "Acme"));
  addDomain(dominio("b", "Beta", false));
  setUserEnabled("a", false);
  addDomain(dominio("a", "Acme SL", true));  // renamed; the user's switch stays off
  EXPECT_EQ(getDomains(), (Dominios{dominio("a", "Acme SL", false), dominio("b", "Beta", false)}));
  const auto antes = inodo();
  setUserEnabled("zz", true);
  removeDomain("zz");
  EXPECT_EQ(inodo(), antes);  // nothing changed, nothing written
  setUserEnabled("b", true);
  removeDomain("a");
  EXPECT_EQ(getDomains(), Dominios{dominio("b", "Beta")});
  addDomain(dominio("c", "Ce"));
  removeAllDomains();
  EXPECT_TRUE(getDomains().empty());
}

TEST(Dominios, ElArchivoEsLaListaDeTresClaves) {
  addDomain(dominio("a", "Acme"));
  addDomain(dominio("b", "Beta", false));
  EXPECT_EQ(archivo(), nlohmann::json::parse(R"([
    {"identifier": "a", "displayName": "Acme", "enabled": true},
    {"identifier": "b", "displayName": "Beta", "enabled": false}])"));
}

class ArchivoDanado : public testing::TestWithParam<std::string> {};

TEST_P(ArchivoDanado, NoDaNingunoYUnAltaLoSustituye) {
  escribirArchivo(GetParam());
  EXPECT_TRUE(getDomains().empty());
  addDomain(dominio("a", "Acme"));
  EXPECT_EQ(getDomains(), Dominios{dominio("a", "Acme")});
  EXPECT_EQ(archivo().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Contenidos, ArchivoDanado,
                         testing::Values("", "[", "{}", "null", "\"[]\"", "[1,]",
                                         "[{\"identifier\": \"\xff\"}]"));

TEST(Dominios, UnElementoMalSeSalta) {
  escribirArchivo(R"([{"identifier": "a", "displayName": "A", "enabled": true}, 3, [],
    {"identifier": 1, "displayName": "X", "enabled": true},
    {"identifier": "x", "displayName": "X", "enabled": "no"}, {"identifier": "x", "enabled": true},
    {"identifier": "c", "displayName": "C", "enabled": false, "otra": 1}])");
  EXPECT_EQ(getDomains(), (Dominios{dominio("a", "A"), dominio("c", "C", false)}));
}

struct CasoMontaje {
  const char* carpetas;  // VEMLO_CARPETAS, unset when null
  DominioRegistrado dominio;
  std::string esperado;  // a leading "~" is $HOME
};

class PuntoDeMontaje : public testing::TestWithParam<CasoMontaje> {};

TEST_P(PuntoDeMontaje, SegunElNombre) {
  const auto& caso = GetParam();
  if (caso.carpetas) setenv("VEMLO_CARPETAS", caso.carpetas, 1);
  auto esperado = caso.esperado;
  if (esperado.starts_with('~')) esperado.replace(0, 1, std::getenv("HOME"));
  EXPECT_EQ(puntoDeMontaje(caso.dominio), fs::path(esperado));
  unsetenv("VEMLO_CARPETAS");
}

INSTANTIATE_TEST_SUITE_P(
    Nombres, PuntoDeMontaje,
    testing::Values(CasoMontaje{nullptr, dominio("v", "Vemlo"), "~/Vemlo"},
                    CasoMontaje{nullptr, dominio("a", "Acme"), "~/Vemlo-Acme"},
                    CasoMontaje{nullptr, dominio("a", "A/B"), "~/Vemlo-A-B"},
                    CasoMontaje{nullptr, dominio("a", std::string("A\0B", 3)), "~/Vemlo-A-B"},
                    CasoMontaje{nullptr, dominio("x/y", ""), "~/Vemlo-x-y"},
                    CasoMontaje{"/srv/carpetas", dominio("a", "Acme"), "/srv/carpetas/Vemlo-Acme"},
                    CasoMontaje{"relativa", dominio("a", "Acme"), "~/Vemlo-Acme"}));

void anadirCincuenta(const std::string& prefijo) {
  for (int i = 0; i < 50; ++i) addDomain(dominio(prefijo + std::to_string(i), prefijo));
}

TEST(Dominios, DosProcesosALaVezNoPierdenNada) {
  const pid_t hijo = fork();
  ASSERT_GE(hijo, 0);
  if (hijo == 0) {
    try {
      anadirCincuenta("hijo");
    } catch (...) {
      _exit(1);
    }
    _exit(0);
  }
  anadirCincuenta("padre");
  int estado = 0;
  ASSERT_EQ(waitpid(hijo, &estado, 0), hijo);
  ASSERT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 0);
  std::set<std::string> ids;
  for (const auto& d : getDomains()) ids.insert(d.identifier);
  EXPECT_EQ(ids.size(), 100u);
}

TEST(Dominios, ArchivoYCarpetaPrivados) {
  addDomain(dominio("a", "Acme"));
  const auto carpeta = archivoDeDominios().parent_path();
  EXPECT_EQ(fs::status(carpeta).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(archivoDeDominios()).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  std::set<std::string> nombres;
  for (const auto& entrada : fs::directory_iterator(carpeta))
    nombres.insert(entrada.path().filename());
  EXPECT_EQ(nombres, (std::set<std::string>{"dominios.json", "dominios.lock"}));
}

TEST(Dominios, UnFalloAlEscribirLlevaSuErrno) {
  const auto falso = fs::path(std::getenv("HOME")) / "no-es-carpeta";
  std::ofstream(falso) << "x";
  setenv("XDG_CONFIG_HOME", falso.c_str(), 1);
  EXPECT_TRUE(getDomains().empty());
  try {
    addDomain(dominio("a", "Acme"));
    ADD_FAILURE() << "did not throw";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code(), std::errc::not_a_directory) << e.what();
  }
}

}  // namespace
}  // namespace vemlo::finder
