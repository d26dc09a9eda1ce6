// The randomized file-operation tester on the local file system: for a few seeds, what it
// returns is what the files left on disk hold, the same seed does the same thing twice, and a
// file it did not expect makes it fail naming the seed.
#include "tortura.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace vemlo::finder::host::pruebas {

void PrintTo(const Tortura& t, std::ostream* salida) {
  *salida << "seed " << t.semilla << ", " << t.operaciones << " operations on " << t.archivos
          << " files up to " << t.mayorTamano << " bytes";
}

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// An empty folder `nombre` under $HOME.
fs::path carpetaNueva(const std::string& nombre) {
  const auto ruta = fs::path(std::getenv("HOME")) / "tortura" / nombre;
  fs::remove_all(ruta);
  fs::create_directories(ruta);
  return ruta;
}

Contenidos enDisco(const fs::path& carpeta) {
  Contenidos archivos;
  for (const auto& entrada : fs::directory_iterator(carpeta)) {
    std::ifstream archivo(entrada.path(), std::ios::binary);
    archivos[entrada.path().filename().string()].assign(std::istreambuf_iterator<char>(archivo),
                                                        {});
  }
  return archivos;
}

class TorturaLocal : public testing::TestWithParam<Tortura> {};

TEST_P(TorturaLocal, DejaEnDiscoLoQueDiceElModelo) {
  const auto carpeta = carpetaNueva("semilla" + std::to_string(GetParam().semilla));
  const auto modelo = torturar(carpeta, GetParam());
  const auto disco = enDisco(carpeta);
  ASSERT_EQ(modelo.size(), disco.size());
  for (const auto& [nombre, bytes] : modelo) {
    ASSERT_TRUE(disco.contains(nombre)) << nombre;
    EXPECT_TRUE(disco.at(nombre) == bytes) << nombre << ": " << disco.at(nombre).size()
                                           << " bytes on disk, " << bytes.size() << " expected";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Semillas, TorturaLocal,
    testing::Values(Tortura{.semilla = 1}, Tortura{.semilla = 2, .archivos = 1},
                    Tortura{.semilla = 3, .operaciones = 2000, .archivos = 5},
                    Tortura{.semilla = 4, .mayorTamano = 4096},
                    Tortura{.semilla = 5, .operaciones = 100, .mayorPausa = 2ms}),
    [](const auto& caso) { return "semilla" + std::to_string(caso.param.semilla); });

TEST(Tortura, LaMismaSemillaHaceLoMismo) {
  const Tortura t{.semilla = 42};
  EXPECT_TRUE(torturar(carpetaNueva("a"), t) == torturar(carpetaNueva("b"), t));
  EXPECT_FALSE(torturar(carpetaNueva("c"), t) == torturar(carpetaNueva("d"), {.semilla = 43}));
}

TEST(Tortura, UnArchivoInesperadoFallaConLaSemilla) {
  const auto carpeta = carpetaNueva("ajeno");
  std::ofstream(carpeta / "t0.bin") << "ajeno";
  try {
    torturar(carpeta, {.semilla = 7, .archivos = 1});
    FAIL() << "no failure";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()).rfind("seed 7, operation 1: open t0.bin failed: ", 0), 0u)
        << e.what();
  }
}

}  // namespace
}  // namespace vemlo::finder::host::pruebas
