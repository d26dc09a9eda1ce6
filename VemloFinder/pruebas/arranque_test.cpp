// Starting the host from vemlo-cli or the app: through the user's systemd when its unit runs
// the same program, detached otherwise. systemd's user manager cannot run in a test's
// container, so a small systemctl stands in for it, answering as the real one does and noting
// how it was called; the host is a script that leaves a mark when it runs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "finder/arranque.h"

namespace vemlo::finder {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kShow = "--user show --property=ExecStart --value vemlo-finder.service";
constexpr auto kStart = "--user --no-block start vemlo-finder.service";

struct Caso {
  const char* nombre;
  bool conSystemctl;
  const char* unidadCorre;  // the unit's program: "host" (the one started), another, or none
  int finShow;
  int finStart;
  bool conServicio;  // VEMLO_SERVICIO set
  Arranque esperado;
  std::vector<std::string> llamadas;
};

void ejecutable(const fs::path& ruta, const std::string& texto) {
  std::ofstream(ruta) << texto;
  fs::permissions(ruta, fs::perms::owner_all);
}

std::string leer(const fs::path& ruta) {
  std::ostringstream texto;
  texto << std::ifstream(ruta).rdbuf();
  return texto.str();
}

class ArrancarAnfitrion : public testing::TestWithParam<Caso> {};

TEST_P(ArrancarAnfitrion, PorLaUnidadOSoltado) {
  const auto& caso = GetParam();
  const fs::path carpeta = fs::path(std::getenv("HOME")) / "arranque" / caso.nombre;
  fs::create_directories(carpeta / "bin");
  const auto host = carpeta / "vemlo-finder";
  const auto marca = carpeta / "marca";
  ejecutable(host, "#!/bin/sh\necho corrio > '" + marca.string() + "'\n");
  const std::string unidad =
      caso.unidadCorre == std::string("host") ? host.string() : caso.unidadCorre;
  const auto registro = carpeta / "llamadas";
  if (caso.conSystemctl)
    ejecutable(carpeta / "bin" / "systemctl",
               "#!/bin/sh\necho \"$*\" >> '" + registro.string() + "'\n" +
                   "case \"$2\" in\n"
                   "  show) [ -n '" +
                   unidad + "' ] && echo '{ path=" + unidad + " ; argv[]=" + unidad +
                   " ; ignore_errors=no ; pid=0 }'; exit " + std::to_string(caso.finShow) + ";;\n" +
                   "  *) exit " + std::to_string(caso.finStart) + ";;\nesac\n");
  setenv("PATH", (carpeta / "bin").c_str(), 1);
  if (caso.conServicio)
    setenv("VEMLO_SERVICIO", "http://127.0.0.1:9", 1);
  else
    unsetenv("VEMLO_SERVICIO");

  EXPECT_EQ(arrancarAnfitrion(host), caso.esperado);

  std::vector<std::string> llamadas;
  std::istringstream lineas(leer(registro));
  for (std::string linea; std::getline(lineas, linea);) llamadas.push_back(linea);
  EXPECT_EQ(llamadas, caso.llamadas);
  if (caso.esperado == Arranque::unidad) {
    EXPECT_FALSE(fs::exists(marca));
    return;
  }
  // The detached host runs on its own: its mark comes when it comes.
  for (int i = 0; i < 100 && leer(marca) != "corrio\n"; ++i) std::this_thread::sleep_for(50ms);
  EXPECT_EQ(leer(marca), "corrio\n");
}

INSTANTIATE_TEST_SUITE_P(
    Casos, ArrancarAnfitrion,
    testing::Values(
        Caso{"LaUnidadLoCorre", true, "host", 0, 0, false, Arranque::unidad, {kShow, kStart}},
        Caso{"LaUnidadCorreOtro",
             true,
             "/usr/bin/vemlo-finder",
             0,
             0,
             false,
             Arranque::desligado,
             {kShow}},
        Caso{"SinLaUnidad", true, "", 0, 0, false, Arranque::desligado, {kShow}},
        Caso{"SinGestorDeUsuario", true, "", 1, 1, false, Arranque::desligado, {kShow}},
        Caso{"LaUnidadNoArranca", true, "host", 0, 5, false, Arranque::desligado, {kShow, kStart}},
        Caso{"ConOtroServicio", true, "host", 0, 0, true, Arranque::desligado, {}},
        Caso{"SinSystemctl", false, "", 0, 0, false, Arranque::desligado, {}}),
    [](const auto& info) { return std::string(info.param.nombre); });

}  // namespace
}  // namespace vemlo::finder
