// The sign-in draft: kept as typed, gone when emptied or signed in, and its notice's rule.
#include <gtest/gtest.h>

#include <QSettings>

#include "borrador.h"

namespace vemlo::app {
namespace {

TEST(Borrador, SeGuardaComoSeEscribeYSeVaAlVaciarse) {
  Borrador borrador;
  EXPECT_EQ(borrador.leer(), "");
  for (const QString parcial : {" a", " an", " ana@x.test "}) borrador.guardar(parcial);
  // Another launch reads what the last edit kept, blanks included.
  EXPECT_EQ(Borrador().leer(), " ana@x.test ");
  borrador.guardar("");
  EXPECT_FALSE(QSettings("Vemlo", "Vemlo").contains("borrador.entrar.correo"));
  borrador.guardar("b@x.test");
  borrador.borrar();
  EXPECT_EQ(borrador.leer(), "");
}

struct FilaAviso {
  const char* nombre;
  const char* guardado;
  const char* correo;
  const char* clave;
  bool avisa;
};

class Aviso : public testing::TestWithParam<FilaAviso> {};

TEST_P(Aviso, SoloConElBorradorEnElCampoYSinClave) {
  Borrador borrador;
  borrador.guardar(GetParam().guardado);
  EXPECT_EQ(borrador.avisar(GetParam().correo, GetParam().clave), GetParam().avisa);
}

INSTANTIATE_TEST_SUITE_P(
    Borrador, Aviso,
    testing::Values(FilaAviso{"Recuperado", "ana@x.test", "ana@x.test", "", true},
                    FilaAviso{"ConClave", "ana@x.test", "ana@x.test", "c", false},
                    FilaAviso{"CampoVacio", "", "", "", false},
                    FilaAviso{"OtroTexto", "ana@x.test", "ana@x.tes", "", false}),
    [](const auto& info) { return std::string(info.param.nombre); });

}  // namespace
}  // namespace vemlo::app
