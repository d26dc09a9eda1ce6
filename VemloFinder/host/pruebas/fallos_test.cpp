// What the host makes of a failure: for an upload, try again later, take a conflict name, or
// stop; for anyone reading the status, the code of the sentence that says why.
#include <gtest/gtest.h>

#include "finder/errores.h"
#include "motivos.h"
#include "subidor.h"
#include "vemlo/error.h"

namespace vemlo::finder::host {
namespace {

struct FilaFallo {
  const char* nombre;
  std::exception_ptr fallo;  // as the extension hands it over
  Desenlace desenlace;
  std::string codigo;
};

void PrintTo(const FilaFallo& f, std::ostream* os) {
  *os << f.nombre;
}

std::exception_ptr delServicio(ErrorVemlo e) {
  return errorDeSistema(std::make_exception_ptr(std::move(e)));
}

template <class E>
std::exception_ptr de(E e) {
  return std::make_exception_ptr(std::move(e));
}

class Fallo : public testing::TestWithParam<FilaFallo> {};

TEST_P(Fallo, DecideYDaElCodigoDeLaFrase) {
  EXPECT_EQ(desenlaceDe(GetParam().fallo), GetParam().desenlace);
  EXPECT_EQ(codigoDe(GetParam().fallo), GetParam().codigo);
}

const auto kSinEspacio = std::system_error(ENOSPC, std::system_category(), "write");

INSTANTIATE_TEST_SUITE_P(
    Subidor, Fallo,
    testing::Values(
        FilaFallo{"repetido", delServicio(ErrorVemlo::api(409, "repetido")), Desenlace::chocar,
                  "repetido"},
        FilaFallo{"permiso", delServicio(ErrorVemlo::api(403, "permiso")), Desenlace::detener,
                  "permiso"},
        FilaFallo{"tope", delServicio(ErrorVemlo::api(402, "tope")), Desenlace::detener, "tope"},
        FilaFallo{"planLleno", delServicio(ErrorVemlo::api(402, "planLleno")), Desenlace::detener,
                  "planLleno"},
        FilaFallo{"nombre", delServicio(ErrorVemlo::api(400, "datos")), Desenlace::detener,
                  "datos"},
        FilaFallo{"noExiste", delServicio(ErrorVemlo::api(404, "noExiste")), Desenlace::detener,
                  "noExiste"},
        FilaFallo{"noLlego", delServicio(ErrorVemlo::api(400, "noLlego")), Desenlace::reintentar,
                  "noLlego"},
        FilaFallo{"sesion", delServicio(ErrorVemlo::api(401, "sesion")), Desenlace::reintentar,
                  "sesion"},
        FilaFallo{"muchos", delServicio(ErrorVemlo::api(429, "")), Desenlace::reintentar, "fallo"},
        FilaFallo{"503", delServicio(ErrorVemlo::api(503, "")), Desenlace::reintentar, "fallo"},
        FilaFallo{"red", delServicio(ErrorVemlo::red("sin ruta")), Desenlace::reintentar, "red"},
        FilaFallo{"sinCausa", de(fp::Error(fp::serverUnreachable)), Desenlace::reintentar,
                  "servidor"},
        FilaFallo{"sinEntrar", de(fp::Error(fp::notAuthenticated)), Desenlace::reintentar,
                  "sinSesion"},
        FilaFallo{"disco", de(kSinEspacio), Desenlace::reintentar, "disco"},
        FilaFallo{"delAnfitrion", de(Motivo("sinMontar", "not mounted")), Desenlace::reintentar,
                  "sinMontar"},
        FilaFallo{"cualquiera", de(std::runtime_error("x")), Desenlace::reintentar, "fallo"}));

}  // namespace
}  // namespace vemlo::finder::host
