// What the uploader makes of a failed upload: try again later, take a conflict name, or stop
// with the person's sentence.
#include <gtest/gtest.h>

#include "finder/errores.h"
#include "subidor.h"
#include "vemlo/error.h"
#include "vemlo/mensajes.h"

namespace vemlo::finder::host {
namespace {

struct FilaFallo {
  const char* nombre;
  std::exception_ptr fallo;  // as the extension hands it over
  Desenlace desenlace;
  std::string motivo;  // in English
};

void PrintTo(const FilaFallo& f, std::ostream* os) {
  *os << f.nombre;
}

std::exception_ptr delServicio(ErrorVemlo e) {
  return errorDeSistema(std::make_exception_ptr(std::move(e)));
}

class Fallo : public testing::TestWithParam<FilaFallo> {};

TEST_P(Fallo, DecideYLoDiceComoUnaPersona) {
  EXPECT_EQ(desenlaceDe(GetParam().fallo), GetParam().desenlace);
  EXPECT_EQ(motivoDe(GetParam().fallo), GetParam().motivo);
}

INSTANTIATE_TEST_SUITE_P(
    Subidor, Fallo,
    testing::Values(FilaFallo{"repetido", delServicio(ErrorVemlo::api(409, "repetido")),
                              Desenlace::chocar, mensaje("repetido", false)},
                    FilaFallo{"permiso", delServicio(ErrorVemlo::api(403, "permiso")),
                              Desenlace::detener, mensaje("permiso", false)},
                    FilaFallo{"tope", delServicio(ErrorVemlo::api(402, "tope")), Desenlace::detener,
                              mensaje("tope", false)},
                    FilaFallo{"planLleno", delServicio(ErrorVemlo::api(402, "planLleno")),
                              Desenlace::detener, mensaje("planLleno", false)},
                    FilaFallo{"nombre", delServicio(ErrorVemlo::api(400, "datos")),
                              Desenlace::detener, mensaje("datos", false)},
                    FilaFallo{"noExiste", delServicio(ErrorVemlo::api(404, "noExiste")),
                              Desenlace::detener, mensaje("noExiste", false)},
                    FilaFallo{"sesion", delServicio(ErrorVemlo::api(401, "sesion")),
                              Desenlace::reintentar, mensaje("sesion", false)},
                    FilaFallo{"muchos", delServicio(ErrorVemlo::api(429, "")),
                              Desenlace::reintentar, mensaje("", false)},
                    FilaFallo{"503", delServicio(ErrorVemlo::api(503, "")), Desenlace::reintentar,
                              mensaje("", false)},
                    FilaFallo{"red", delServicio(ErrorVemlo::red("sin ruta")),
                              Desenlace::reintentar, ErrorVemlo::red("").descripcion()},
                    FilaFallo{"sinCausa", std::make_exception_ptr(fp::Error(fp::serverUnreachable)),
                              Desenlace::reintentar, mensaje("", false)},
                    FilaFallo{
                        "disco",
                        std::make_exception_ptr(std::system_error(ENOSPC, std::generic_category())),
                        Desenlace::reintentar,
                        std::system_error(ENOSPC, std::generic_category()).what()}));

}  // namespace
}  // namespace vemlo::finder::host
