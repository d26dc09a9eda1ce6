// What the user reads: the language rule, the message table, ErrorVemlo's identity and
// the cancellation test, and dates for display.
#include <gtest/gtest.h>

#include <cstdlib>

#include <unicode/timezone.h>

#include "comun.h"
#include "error_curl.h"
#include "vemlo/base.h"
#include "vemlo/error.h"
#include "vemlo/mensajes.h"
#include "vemlo/transporte.h"

namespace vemlo {
namespace {

// Sets the four language variables for one test and restores nothing: every test case runs
// in a process of its own.
void idiomas(const char* language, const char* lcAll, const char* lcMessages, const char* lang) {
  const std::pair<const char*, const char*> variables[] = {
      {"LANGUAGE", language}, {"LC_ALL", lcAll}, {"LC_MESSAGES", lcMessages}, {"LANG", lang}};
  for (const auto& [nombre, valor] : variables) {
    if (valor)
      setenv(nombre, valor, 1);
    else
      unsetenv(nombre);
  }
}

struct FilaIdioma {
  std::string nombre;
  const char *language, *lcAll, *lcMessages, *lang;
  bool espanol;
};

class Idioma : public testing::TestWithParam<FilaIdioma> {};

TEST_P(Idioma, PrimeraPreferencia) {
  const auto& f = GetParam();
  idiomas(f.language, f.lcAll, f.lcMessages, f.lang);
  EXPECT_EQ(enEspanol(), f.espanol);
}

INSTANTIATE_TEST_SUITE_P(
    Mensajes, Idioma,
    testing::Values(FilaIdioma{"Nada", nullptr, nullptr, nullptr, nullptr, false},
                    FilaIdioma{"Language", "es_MX:en", nullptr, nullptr, "en_US.UTF-8", true},
                    FilaIdioma{"LanguageManda", "en_GB:es", "es_ES.UTF-8", nullptr, nullptr, false},
                    FilaIdioma{"LanguageVacio", "", nullptr, nullptr, "es_ES.UTF-8", true},
                    FilaIdioma{"LcAllAntesQueLang", nullptr, "pt_BR.UTF-8", nullptr, "es_AR",
                               false},
                    FilaIdioma{"LcMessages", nullptr, nullptr, "es-419", "en_US", true},
                    FilaIdioma{"Posix", nullptr, "POSIX", nullptr, "es_ES", false},
                    FilaIdioma{"C", nullptr, nullptr, nullptr, "C.UTF-8", false}),
    pruebas::porNombre);

struct FilaMensaje {
  std::string codigo;
  bool espanol;
  std::string frase;
  friend void PrintTo(const FilaMensaje& f, std::ostream* os) { *os << f.codigo; }
};

class Mensaje : public testing::TestWithParam<FilaMensaje> {};

TEST_P(Mensaje, DeLaTabla) {
  EXPECT_EQ(mensaje(GetParam().codigo, GetParam().espanol), GetParam().frase);
}

INSTANTIATE_TEST_SUITE_P(
    Mensajes, Mensaje,
    testing::Values(
        FilaMensaje{"credenciales", true, "El correo o la contraseña no son correctos."},
        FilaMensaje{"credenciales", false, "The email or password is incorrect."},
        FilaMensaje{"Sesion", false, "Something went wrong. Please try again."},
        FilaMensaje{"desconocido", true, "Algo salió mal. Inténtalo otra vez."},
        FilaMensaje{"formato", false, "Something went wrong. Please try again."},
        FilaMensaje{"cancelado", false, "Something went wrong. Please try again."},
        FilaMensaje{"servidor", false,
                    "Vemlo isn't responding right now. Your internet is working; please try "
                    "again in a moment."},
        FilaMensaje{"red", true,
                    "No tienes conexión a internet. Vemlo lo intenta de nuevo cuando vuelva."},
        FilaMensaje{"pagoFallido", false,
                    "Uploads are paused because a payment didn't go through. Update your card in "
                    "Usage. Your files are safe."}));

TEST(Mensajes, ElPlanLlenoNombraElHostDeLaBase) {
  setenv("VEMLO_SERVICIO", "https://archivos.example.com:8443/raiz", 1);
  if (baseInicial() != "https://archivos.example.com:8443/raiz") GTEST_SKIP() << "base ya leída";
  EXPECT_EQ(mensaje("planLleno", false),
            "Your company's plan is full. An owner or admin can add space on archivos.example.com. "
            "Viewing and downloading keep working.");
  EXPECT_EQ(mensaje("planLleno", true),
            "El plan de tu empresa está lleno. Un dueño o administrador puede sumar espacio en "
            "archivos.example.com. Ver y bajar siguen funcionando.");
}

TEST(Mensajes, ErrorVemloSeComparaPorCasoYCargaYHablaElIdiomaDelUsuario) {
  EXPECT_EQ(ErrorVemlo::api(404, "noExiste"), ErrorVemlo::api(404, "noExiste"));
  EXPECT_NE(ErrorVemlo::api(404, "noExiste"), ErrorVemlo::api(410, "noExiste"));
  EXPECT_NE(ErrorVemlo::red("a"), ErrorVemlo::red("b"));
  EXPECT_NE(ErrorVemlo::red("a"), ErrorVemlo::servidor("a"));
  EXPECT_EQ(ErrorVemlo::cancelado(), ErrorVemlo::cancelado());
  idiomas("es_ES", nullptr, nullptr, nullptr);
  EXPECT_EQ(ErrorVemlo::api(401, "sesion").descripcion(), "Tu sesión venció. Vuelve a entrar.");
  EXPECT_EQ(ErrorVemlo::api(500, "desconocido").descripcion(), mensaje("otra", true));
  EXPECT_EQ(ErrorVemlo::servidor("x").descripcion(), mensaje("servidor", true));
}

TEST(Mensajes, EsCancelacionSoloParaCancelaciones) {
  const auto es = [](auto fallo) { return esCancelacion(std::make_exception_ptr(fallo)); };
  EXPECT_TRUE(es(ErrorVemlo::cancelado()));
  EXPECT_FALSE(es(ErrorVemlo::red("x")));
  EXPECT_TRUE(es(ErrorCurl(42 /* CURLE_ABORTED_BY_CALLBACK */, 0, "x")));
  EXPECT_FALSE(es(ErrorCurl(28 /* CURLE_OPERATION_TIMEDOUT */, 0, "x")));
  EXPECT_FALSE(es(std::runtime_error("x")));
  EXPECT_FALSE(esCancelacion(nullptr));
}

TEST(Mensajes, FechaLegibleEnLosDosIdiomas) {
  icu::TimeZone::adoptDefault(icu::TimeZone::createTimeZone("UTC"));
  idiomas("en_US", nullptr, nullptr, nullptr);
  EXPECT_EQ(fechaLegible("2024-05-01T10:20:30.123Z"), "May 1, 2024, 10:20\u202fAM");
  idiomas("es", nullptr, nullptr, nullptr);
  EXPECT_EQ(fechaLegible("2024-05-01 22:05:00"), "1 may 2024, 22:05");
  EXPECT_EQ(fechaLegible(""), "");
  EXPECT_EQ(fechaLegible("mañana"), "");
}

}  // namespace
}  // namespace vemlo
