// Name rules and search folding: the pieces of the service that no HTTP test pins down.
#include <gtest/gtest.h>

#include "textos.h"

namespace vemlo::servicio {
namespace {

struct CasoNombre {
  std::string nombre;
  bool valido;
};

class NombreTest : public ::testing::TestWithParam<CasoNombre> {};

TEST_P(NombreTest, Valida) {
  EXPECT_EQ(nombreValido(GetParam().nombre), GetParam().valido);
}

INSTANTIATE_TEST_SUITE_P(Nombres, NombreTest,
                         ::testing::Values(CasoNombre{"informe.pdf", true}, CasoNombre{"", false},
                                           CasoNombre{".", false}, CasoNombre{"..", false},
                                           CasoNombre{"...", true}, CasoNombre{"a/b", false},
                                           CasoNombre{std::string("a\0b", 3), false},
                                           CasoNombre{std::string(255, 'x'), true},
                                           CasoNombre{std::string(256, 'x'), false},
                                           CasoNombre{"montaña ñ", true}));

struct CasoPliegue {
  std::string texto;
  std::string plegado;
};

class PlegarTest : public ::testing::TestWithParam<CasoPliegue> {};

TEST_P(PlegarTest, QuitaAcentosYMayusculas) {
  EXPECT_EQ(plegar(GetParam().texto), GetParam().plegado);
}

INSTANTIATE_TEST_SUITE_P(Textos, PlegarTest,
                         ::testing::Values(CasoPliegue{"Léeme.TXT", "leeme.txt"},
                                           CasoPliegue{"MONTAÑA", "montana"},
                                           CasoPliegue{"Ça Über", "ca uber"}, CasoPliegue{"", ""}));

TEST(Fecha, IsoConMilisegundos) {
  EXPECT_EQ(fechaIso(1714558830123), "2024-05-01T10:20:30.123Z");
  EXPECT_EQ(fechaIso(0), "1970-01-01T00:00:00.000Z");
}

}  // namespace
}  // namespace vemlo::servicio
