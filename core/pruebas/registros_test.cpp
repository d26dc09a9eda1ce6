// Decoding and encoding of the wire records, the sign-in answer and service dates.
#include <gtest/gtest.h>

#include <functional>
#include <unordered_set>

#include "comun.h"
#include "vemlo/cliente.h"
#include "vemlo/fecha.h"
#include "vemlo/registros.h"
#include "vemlo/utf8.h"

namespace vemlo {
namespace {

using nlohmann::json;

struct FilaDecodificar {
  std::string nombre;
  std::function<std::optional<std::string>(const std::string&)> decodificar;
  std::string texto;
  std::optional<std::string> falla;  // the failure's text, when it must fail
};

std::optional<std::string> fallo(const std::function<void()>& decodificar) {
  try {
    decodificar();
  } catch (const ErrorDecodificacion& e) {
    return e.what();
  }
  return std::nullopt;
}

// Decodes the text from a parsed tree and, for a record, straight from the text: one rule,
// so both give the same failure (or none).
template <class T>
std::function<std::optional<std::string>(const std::string&)> como() {
  return [](const std::string& texto) {
    const auto deArbol = fallo([&] { desdeJson<T>(json::parse(texto)); });
    if constexpr (Registro<T>) {
      EXPECT_EQ(fallo([&] { leerJson<T>(texto); }), deArbol) << "leído del texto";
    }
    return deArbol;
  };
}

class Decodificar : public testing::TestWithParam<FilaDecodificar> {};

TEST_P(Decodificar, SigueLasReglas) {
  const auto& fila = GetParam();
  EXPECT_EQ(fila.decodificar(fila.texto), fila.falla);
}

const std::string archivo =
    R"("id":"a","nombre":"n.pdf","tipo":"application/pdf","actualizadoEn":"x")";

INSTANTIATE_TEST_SUITE_P(
    Registros, Decodificar,
    testing::Values(
        FilaDecodificar{"OpcionalNuloYAusente", como<ArchivoRemoto>(),
                        "{" + archivo + R"(,"tamanoBytes":1,"miniatura":null})", std::nullopt},
        FilaDecodificar{"TamanoComoTexto", como<ArchivoRemoto>(),
                        "{" + archivo + R"(,"tamanoBytes":"1"})",
                        "tamanoBytes: se esperaba un número entero"},
        FilaDecodificar{"RequeridoNulo", como<ArchivoRemoto>(),
                        "{" + archivo + R"(,"tamanoBytes":null})",
                        "tamanoBytes: se esperaba un número entero"},
        FilaDecodificar{"OpcionalDeOtroTipo", como<ArchivoRemoto>(),
                        "{" + archivo + R"(,"tamanoBytes":1,"miniatura":"si"})",
                        "miniatura: se esperaba un valor lógico"},
        FilaDecodificar{"ClavesDesconocidas", como<ArchivoRemoto>(),
                        "{" + archivo + R"(,"tamanoBytes":1,"otra":[1,{}]})", std::nullopt},
        FilaDecodificar{"MaximoDeInt64", como<ArchivoRemoto>(),
                        "{" + archivo + R"(,"tamanoBytes":9223372036854775807})", std::nullopt},
        FilaDecodificar{"MinimoDeInt64", como<ArchivoRemoto>(),
                        "{" + archivo + R"(,"tamanoBytes":-9223372036854775808})", std::nullopt},
        FilaDecodificar{"FueraDeInt64", como<ArchivoRemoto>(),
                        "{" + archivo + R"(,"tamanoBytes":9223372036854775808})",
                        "tamanoBytes: número fuera del rango de int64"},
        FilaDecodificar{"Fraccion", como<ArchivoRemoto>(), "{" + archivo + R"(,"tamanoBytes":1.5})",
                        "tamanoBytes: se esperaba un número entero de int64"},
        FilaDecodificar{"FavoritoSinMiniatura", como<Favorito>(),
                        R"({"tipo":"archivo","id":"f","nombre":"n","carpetaId":"c","fecha":"x"})",
                        "miniatura: falta la clave"},
        FilaDecodificar{"RutaAnidada", como<VistaCarpeta>(),
                        R"({"id":"c","organizacionId":"o","rol":"editor","ruta":[],"carpetas":[],
                            "archivos":[{"id":"a"}]})",
                        "archivos[0].nombre: falta la clave"},
        FilaDecodificar{"NoEsObjeto", como<Usuario>(), R"(["id"])", "se esperaba un objeto"},
        FilaDecodificar{"OkDeCualquierCosa", como<Ok>(), R"("texto")", std::nullopt},
        FilaDecodificar{
            "SobreConClave", como<RElementos>(),
            R"({"elementos":[{"tipo":"carpeta","id":"1","nombre":"n","borradoEn":"x"}]})",
            std::nullopt},
        FilaDecodificar{"SobreSinClave", como<RId>(), R"({"ID":"1"})", "id: falta la clave"},
        FilaDecodificar{"PartesSinTotal", como<PedidoSubida>(),
                        R"({"archivoId":"a","partes":{"tamanoParte":5}})",
                        "partes.total: falta la clave"}),
    pruebas::porNombre);

// Answers that only text can hold, as the client reads them: the failure names the field.
class RespuestasMalas : public testing::TestWithParam<FilaDecodificar> {};

TEST_P(RespuestasMalas, FallanConFormatoYElCampo) {
  const auto& fila = GetParam();
  const auto error = pruebas::falla([&] { decodificar<VistaCarpeta>({200, {}, fila.texto}); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->caso(), ErrorVemlo::Caso::formato);
  EXPECT_EQ(error->detalle(), fila.falla);
}

const std::string vista =
    R"({"id":"c","organizacionId":"o","rol":"editor","ruta":[],"carpetas":[],)";
const std::string entera = vista + R"("archivos":[]})";

INSTANTIATE_TEST_SUITE_P(
    Texto, RespuestasMalas,
    testing::Values(FilaDecodificar{"Utf8NoValido",
                                    {},
                                    vista + "\"archivos\":[{\"nombre\":\"a\xff\"}]}",
                                    "archivos[0].nombre: texto que no es UTF-8 válido (byte 94)"},
                    FilaDecodificar{"NumeroEnorme",
                                    {},
                                    vista + R"("archivos":[{"tamanoBytes":1e400}]})",
                                    "archivos[0].tamanoBytes: número fuera de rango (byte 97)"},
                    FilaDecodificar{"Cortada",
                                    {},
                                    vista + R"("archivos":[{"id":"a")",
                                    "archivos[0]: la respuesta no es JSON válido (byte 91)"},
                    FilaDecodificar{
                        "NoEsJson", {}, "<html>", "la respuesta no es JSON válido (byte 0)"},
                    FilaDecodificar{"AlgoTrasUnNul",
                                    {},
                                    entera + std::string("\0x", 2),
                                    "la respuesta no es JSON válido (byte " +
                                        std::to_string(entera.size()) + ")"}),
    pruebas::porNombre);

struct FilaEntrar {
  std::string nombre;
  std::string texto;
  std::optional<std::string> desafio;  // a challenge, else an account (when it decodes)
  bool falla = false;
};

class Entrar : public testing::TestWithParam<FilaEntrar> {};

TEST_P(Entrar, LaClaveMfaDecide) {
  const auto& fila = GetParam();
  const auto j = json::parse(fila.texto);
  if (fila.falla) {
    EXPECT_THROW(desdeJson<RespuestaEntrar>(j), ErrorDecodificacion);
    return;
  }
  const auto respuesta = desdeJson<RespuestaEntrar>(j);
  if (fila.desafio) {
    ASSERT_TRUE(std::holds_alternative<RespuestaEntrar::Codigo>(respuesta.valor));
    EXPECT_EQ(std::get<RespuestaEntrar::Codigo>(respuesta.valor).desafio, *fila.desafio);
  } else {
    ASSERT_TRUE(std::holds_alternative<RespuestaEntrar::Lista>(respuesta.valor));
  }
}

const std::string usuario = R"("usuario":{"id":"u","nombre":"Ana","correo":"a@b.c"})";

INSTANTIATE_TEST_SUITE_P(
    Registros, Entrar,
    testing::Values(
        FilaEntrar{"MfaFalsoEsCuenta", R"({"mfa":false,)" + usuario + R"(,"organizaciones":[]})",
                   std::nullopt},
        FilaEntrar{"MfaTextoEsCuenta", R"({"mfa":"true",)" + usuario + R"(,"organizaciones":[]})",
                   std::nullopt},
        FilaEntrar{"MfaTextoSinCuentaFalla", R"({"mfa":"true","desafio":"d"})", {}, true},
        FilaEntrar{"Desafio", R"({"mfa":true,"desafio":"d1"})", "d1"},
        FilaEntrar{"MfaSinDesafioFalla",
                   R"({"mfa":true,)" + usuario + R"(,"organizaciones":[]})",
                   {},
                   true},
        FilaEntrar{"DesafioNoTexto", R"({"mfa":true,"desafio":7})", {}, true},
        FilaEntrar{"NoEsObjeto", R"([true])", {}, true}),
    pruebas::porNombre);

TEST(Registros, CodificarOmiteLosOpcionalesAusentesYVuelveIgual) {
  const ArchivoRemoto a{"a",          "n.jpg", 5, "image/jpeg", "2024-05-01T10:20:30.123Z",
                        std::nullopt, "c"};
  const auto j = aJson(a);
  EXPECT_FALSE(j.contains("miniatura"));
  EXPECT_EQ(j.at("carpetaId"), "c");
  EXPECT_EQ(desdeJson<ArchivoRemoto>(j), a);

  const ResultadoBusqueda r{"archivo", "r", "n", "c", {"Acme", "Informes"}, 7, "f"};
  EXPECT_EQ(desdeJson<ResultadoBusqueda>(aJson(r)), r);
  const PedidoSubida p{"a", "v", std::nullopt, Partes{8, 3, true}};
  EXPECT_EQ(aJson(p), json::parse(R"({"archivoId":"a","versionId":"v",
      "partes":{"tamanoParte":8,"total":3,"directo":true}})"));
}

TEST(Registros, IgualesTienenElMismoHash) {
  const Favorito a{"carpeta", "1", "n", "c", std::nullopt, std::nullopt, "f", false};
  Favorito b = a;
  std::unordered_set<Favorito> conjunto{a, b};
  EXPECT_EQ(conjunto.size(), 1u);
  b.tamanoBytes = 0;
  conjunto.insert(b);
  EXPECT_EQ(conjunto.size(), 2u);
}

struct FilaFecha {
  std::string texto;
  std::optional<std::int64_t> ms;  // since the epoch, UTC
  friend void PrintTo(const FilaFecha& f, std::ostream* os) { *os << f.texto; }
};

class Fechas : public testing::TestWithParam<FilaFecha> {};

TEST_P(Fechas, SeLeenComoElServicioLasEscribe) {
  const auto fecha = fechaDe(GetParam().texto);
  ASSERT_EQ(fecha.has_value(), GetParam().ms.has_value());
  if (fecha) {
    EXPECT_EQ(fecha->time_since_epoch().count(), *GetParam().ms);
  }
}

constexpr std::int64_t mayo = 1714558830000;  // 2024-05-01T10:20:30Z

INSTANTIATE_TEST_SUITE_P(Registros, Fechas,
                         testing::Values(FilaFecha{"2024-05-01T10:20:30.123Z", mayo + 123},
                                         FilaFecha{"2024-05-01T10:20:30.1Z", mayo + 100},
                                         FilaFecha{"2024-05-01T10:20:30Z", mayo},
                                         FilaFecha{"2024-05-01T12:20:30+02:00", mayo},
                                         FilaFecha{"2024-05-01T07:20:30.5-0300", mayo + 500},
                                         FilaFecha{"2024-05-01 10:20:30", mayo},
                                         FilaFecha{"", std::nullopt},
                                         FilaFecha{"ayer", std::nullopt},
                                         FilaFecha{"2024-02-30T10:20:30Z", std::nullopt},
                                         FilaFecha{"2024-05-01T10:20:30", mayo},
                                         FilaFecha{"2024-05-01 10:20:30.123", std::nullopt},
                                         FilaFecha{"2024-05-01T24:00:00Z", std::nullopt}));

class Utf8 : public testing::TestWithParam<std::pair<std::string, bool>> {};

TEST_P(Utf8, SoloSecuenciasBienFormadas) {
  EXPECT_EQ(esUtf8(GetParam().first), GetParam().second);
}

using P = std::pair<std::string, bool>;

INSTANTIATE_TEST_SUITE_P(Registros, Utf8,
                         testing::Values(P{"", true}, P{"año €", true}, P{"\xf0\x9f\x98\x80", true},
                                         P{"\xff", false}, P{"\xc0\xaf", false},
                                         P{"\xed\xa0\x80", false}, P{"\xf4\x90\x80\x80", false},
                                         P{"\xe2\x82", false}));

}  // namespace
}  // namespace vemlo
