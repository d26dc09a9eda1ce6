// A download shared by its readers: a waiting read hears once its bytes are on disk, or of the
// failure when they never will be; readers of one version share one download, which is
// cancelled when the last of them leaves, and whose bytes the next download continues from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
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
  Descargas tabla(carpeta());
  const auto [a, nuevaA] = tabla.unirse("x", "v1");
  const auto [b, nuevaB] = tabla.unirse("x", "v1");
  EXPECT_TRUE(nuevaA);
  EXPECT_FALSE(nuevaB);
  EXPECT_EQ(a, b);
  const auto progreso = std::make_shared<fp::Progress>(100);
  a->fijarProgreso(progreso);
  tabla.dejar("x", a);
  EXPECT_FALSE(progreso->cancellation().stop_requested());
  tabla.dejar("x", b);
  EXPECT_TRUE(progreso->cancellation().stop_requested());
  EXPECT_TRUE(a->cancelada());
  const auto [c, nuevaC] = tabla.unirse("x", "v1");
  EXPECT_TRUE(nuevaC);  // a cancelled one is not joined
  EXPECT_NE(c, a);
  EXPECT_FALSE(tabla.unirse("y", "v1").first == c);
}

TEST(Descargas, OtraVersionEsOtraDescarga) {
  Descargas tabla(carpeta());
  const auto a = tabla.unirse("x", "v1").first;
  const auto [b, nueva] = tabla.unirse("x", "v2");
  EXPECT_TRUE(nueva);
  EXPECT_NE(a, b);
  tabla.quitar("x", b.get());
  EXPECT_TRUE(tabla.unirse("x", "v2").second);
}

TEST(Descargas, LaSiguienteSigueLoQueDejoUnaParadaDeSuVersion) {
  Descargas tabla(carpeta());
  const auto a = tabla.unirse("x", "v1").first;
  const auto b = tabla.unirse("z", "v1").first;
  tabla.dejar("x", a);  // both stop for want of readers
  tabla.dejar("z", b);
  tabla.pausar({"x", "v1", a->archivo(), 10});
  tabla.pausar({"z", "v1", b->archivo(), 10});
  const auto [sigue, nueva] = tabla.unirse("x", "v1");
  EXPECT_TRUE(nueva);
  EXPECT_EQ(sigue->archivo(), a->archivo());
  EXPECT_EQ(sigue->llegados(), 10);
  EXPECT_NE(tabla.unirse("z", "v2").first->archivo(), b->archivo());
  EXPECT_FALSE(fs::exists(b->archivo()));  // another version's bytes are of no use
}

TEST(Descargas, LoQueDejoOtraEjecucionSeVa) {
  const auto viejo = Descarga(carpeta(), "v1").archivo();
  std::ofstream(viejo) << "de antes";
  Descargas tabla(carpeta());
  EXPECT_FALSE(fs::exists(viejo));
}

}  // namespace
}  // namespace vemlo::finder::host
