// TOTP against the SHA-1 test vectors of RFC 6238 (8 digits, the RFC's secret), the drift
// window, and base32 both ways.
#include <gtest/gtest.h>

#include "totp.h"

namespace vemlo::servicio {
namespace {

constexpr std::string_view secretoRfc = "12345678901234567890";

struct Vector {
  std::int64_t segundos;
  std::string codigo;
};

class TotpTest : public ::testing::TestWithParam<Vector> {};

TEST_P(TotpTest, CoincideConLaNorma) {
  EXPECT_EQ(codigoTotp(secretoRfc, GetParam().segundos, 8), GetParam().codigo);
}

INSTANTIATE_TEST_SUITE_P(Rfc6238, TotpTest,
                         ::testing::Values(Vector{59, "94287082"}, Vector{1111111109, "07081804"},
                                           Vector{1111111111, "14050471"},
                                           Vector{1234567890, "89005924"},
                                           Vector{2000000000, "69279037"},
                                           Vector{20000000000, "65353130"}));

TEST(Totp, AceptaUnPasoDeDesvio) {
  const std::int64_t ahora = 1111111111;
  const auto codigo = codigoTotp(secretoRfc, ahora);
  EXPECT_EQ(codigo.size(), 6u);
  EXPECT_TRUE(totpValido(secretoRfc, codigo, ahora));
  EXPECT_TRUE(totpValido(secretoRfc, codigo, ahora + 30));
  EXPECT_TRUE(totpValido(secretoRfc, codigo, ahora - 30));
  EXPECT_FALSE(totpValido(secretoRfc, codigo, ahora + 90));
  EXPECT_FALSE(totpValido(secretoRfc, "12345", ahora));
}

struct Base32 {
  std::string bytes;
  std::string texto;
};

class Base32Test : public ::testing::TestWithParam<Base32> {};

TEST_P(Base32Test, IdaYVuelta) {
  EXPECT_EQ(base32(GetParam().bytes), GetParam().texto);
  EXPECT_EQ(desdeBase32(GetParam().texto), GetParam().bytes);
}

// RFC 4648's vectors, without padding.
INSTANTIATE_TEST_SUITE_P(Rfc4648, Base32Test,
                         ::testing::Values(Base32{"", ""}, Base32{"f", "MY"}, Base32{"fo", "MZXQ"},
                                           Base32{"foo", "MZXW6"}, Base32{"foob", "MZXW6YQ"},
                                           Base32{"fooba", "MZXW6YTB"},
                                           Base32{"foobar", "MZXW6YTBOI"}));

TEST(Base32, MinusculasYRelleno) {
  EXPECT_EQ(desdeBase32("mzxw6ytboi======"), "foobar");
  EXPECT_EQ(desdeBase32("MZ1"), std::nullopt);
}

}  // namespace
}  // namespace vemlo::servicio
