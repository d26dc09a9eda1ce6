// A download shared by its readers: a waiting read hears once its bytes are on disk, or of the
// failure when they never will be; the file of a failed download goes; readers of one version
// share one download, which is cancelled when the last of them leaves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "descargas.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

fs::path carpeta() {
  return fs::path(std::getenv("HOME"));
}

const auto kFallo = std::make_exception_ptr(std::runtime_error("cortada"));
constexpr auto kTodo = std::numeric_limits<std::int64_t>::max();

// A read waiting for `hasta` bytes, asked after `antes` bytes arrived; then `despues` bytes
// arrive and the download ends (or fails).
struct FilaEspera {
  const char* nombre;
  std::int64_t antes;
  std::int64_t hasta;
  std::int64_t despues;
  bool falla;
  bool oyeAntesDelFin;  // answered before the end
  bool oyeFallo;        // and with the failure
};

void PrintTo(const FilaEspera& f, std::ostream* os) {
  *os << f.nombre;
}

class Espera : public testing::TestWithParam<FilaEspera> {};

TEST_P(Espera, OyeCuandoLleganOFallan) {
  const auto& f = GetParam();
  Descarga d(carpeta(), "v1");
  d.llegaron(f.antes);
  int oidos = 0;
  std::exception_ptr oido;
  d.alLlegar(f.hasta, [&](std::exception_ptr e) {
    ++oidos;
    oido = e;
  });
  d.llegaron(f.despues);
  EXPECT_EQ(oidos, f.oyeAntesDelFin ? 1 : 0);
  d.terminar(f.falla ? kFallo : nullptr, f.falla ? std::nullopt : std::optional(d.archivo()));
  EXPECT_EQ(oidos, 1);
  EXPECT_EQ(oido != nullptr, f.oyeFallo);
  EXPECT_EQ(d.completa(), !f.falla);
  EXPECT_EQ(fs::exists(d.archivo()), !f.falla);
}

INSTANTIATE_TEST_SUITE_P(
    Descarga, Espera,
    testing::Values(FilaEspera{"YaEstaban", 100, 50, 100, false, true, false},
                    FilaEspera{"LleganLuego", 10, 50, 60, false, true, false},
                    FilaEspera{"JustoHastaElFinal", 0, 60, 60, true, true, false},
                    FilaEspera{"LleganYDespuesFalla", 10, 50, 60, true, true, false},
                    FilaEspera{"FallaAntes", 10, 50, 40, true, false, true},
                    FilaEspera{"EsperaElFinal", 10, kTodo, 60, false, false, false},
                    FilaEspera{"ElFinalFalla", 10, kTodo, 60, true, false, true}));

TEST(Descarga, TrasElFalloLoLlegadoSeLeeYLoDemasNo) {
  Descarga d(carpeta(), "v1");
  d.llegaron(100);
  d.terminar(kFallo, std::nullopt);
  std::exception_ptr antes = kFallo, despues;
  d.alLlegar(100, [&](std::exception_ptr e) { antes = e; });
  d.alLlegar(101, [&](std::exception_ptr e) { despues = e; });
  EXPECT_FALSE(antes);
  EXPECT_TRUE(despues);
}

TEST(Descargas, UnaVersionUnaDescargaYElUltimoEnIrseLaCancela) {
  Descargas tabla;
  int creadas = 0;
  const auto crear = [&] {
    ++creadas;
    return std::make_shared<Descarga>(carpeta(), "v1");
  };
  const auto [a, nuevaA] = tabla.unirse("x", "v1", crear);
  const auto [b, nuevaB] = tabla.unirse("x", "v1", crear);
  EXPECT_TRUE(nuevaA);
  EXPECT_FALSE(nuevaB);
  EXPECT_EQ(a, b);
  const auto progreso = std::make_shared<fp::Progress>(100);
  a->fijarProgreso(progreso);
  tabla.dejar("x", a);
  EXPECT_FALSE(progreso->cancellation().stop_requested());
  tabla.dejar("x", b);
  EXPECT_TRUE(progreso->cancellation().stop_requested());
  EXPECT_TRUE(tabla.unirse("x", "v1", crear).second);  // a cancelled one is not joined
  EXPECT_EQ(creadas, 2);
}

TEST(Descargas, OtraVersionEsOtraDescarga) {
  Descargas tabla;
  const auto [a, nuevaA] =
      tabla.unirse("x", "v1", [] { return std::make_shared<Descarga>(carpeta(), "v1"); });
  const auto [b, nuevaB] =
      tabla.unirse("x", "v2", [] { return std::make_shared<Descarga>(carpeta(), "v2"); });
  EXPECT_TRUE(nuevaB);
  EXPECT_NE(a, b);
  tabla.quitar("x", b.get());
  EXPECT_TRUE(
      tabla.unirse("x", "v2", [] { return std::make_shared<Descarga>(carpeta(), "v2"); }).second);
}

}  // namespace
}  // namespace vemlo::finder::host
