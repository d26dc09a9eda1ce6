// Signing in, the two-step code, the account check and signing out, against a loopback
// server that plays the service: each request's exact method, path, body and headers, and
// each answer's outcome.
#include <gtest/gtest.h>

#include "servidor_prueba.h"
#include "vemlo/cliente.h"
#include "vemlo/transporte_curl.h"

namespace vemlo {
namespace {

using nlohmann::json;

const json cuenta = {{"usuario", {{"id", "u1"}, {"nombre", "Ana"}, {"correo", "ana@vemlo.test"}}},
                     {"organizaciones", json::array()}};

void fallar(httplib::Response& r, int estado, const char* codigo) {
  r.status = estado;
  r.set_content(json{{"error", codigo}}.dump(), "application/json");
}

// The service's side: one account without and one with a two-step code.
void servicio(const httplib::Request& pedido, httplib::Response& r) {
  const auto cuerpo = json::parse(pedido.body.empty() ? "{}" : pedido.body);
  auto conToken = cuenta;
  conToken["token"] = "tok-nuevo";
  if (pedido.path == "/v1/sesiones" && pedido.method == "POST") {
    if (cuerpo.value("clave", "") != "bien") return fallar(r, 401, "credenciales");
    if (cuerpo.value("correo", "") == "mfa@vemlo.test")
      return r.set_content(R"({"mfa":true,"desafio":"d-1"})", "application/json");
    return r.set_content(conToken.dump(), "application/json");
  }
  if (pedido.path == "/v1/sesiones/mfa") {
    if (cuerpo.value("desafio", "") != "d-1" || cuerpo.value("codigo", "") != "123456")
      return fallar(r, 401, "codigoMfa");
    return r.set_content(conToken.dump(), "application/json");
  }
  if (pedido.get_header_value("Authorization") != "Bearer tok-bueno")
    return fallar(r, 401, "sesion");
  if (pedido.path == "/v1/yo") return r.set_content(cuenta.dump(), "application/json");
  r.status = 204;
}

enum class Operacion { entrar, confirmar, yo, cerrar };

struct FilaCuenta {
  std::string nombre;
  Operacion operacion;
  std::string a, b;  // the operation's two texts, when it takes them
  std::optional<std::string> token;
  std::string metodo, ruta;
  json cuerpo;  // the body the service must see (null: none)
  std::optional<ErrorVemlo> error;
  friend void PrintTo(const FilaCuenta& f, std::ostream* os) { *os << f.nombre; }
};

// Runs the row's operation; gives the token it yields (sign-in) or the user's name.
std::string ejecutar(const Vemlo& cliente, const FilaCuenta& f) {
  switch (f.operacion) {
    case Operacion::entrar: {
      const auto respuesta = cliente.entrar(f.a, f.b);
      if (const auto* codigo = std::get_if<RespuestaEntrar::Codigo>(&respuesta.valor))
        return "desafio " + codigo->desafio;
      return std::get<RespuestaEntrar::Lista>(respuesta.valor).cuenta.token.value_or("");
    }
    case Operacion::confirmar:
      return cliente.confirmarCodigo(f.a, f.b).token.value_or("");
    case Operacion::yo:
      return cliente.yo().usuario.nombre;
    case Operacion::cerrar:
      cliente.cerrarSesion();
      return {};
  }
  return {};
}

class Cuentas : public testing::TestWithParam<FilaCuenta> {};

TEST_P(Cuentas, PedidoExactoYRespuesta) {
  const auto& f = GetParam();
  pruebas::ServidorHttp servidor(servicio);
  const Vemlo cliente(servidor.base(), f.token, std::make_shared<TransporteCurl>());
  std::string resultado;
  try {
    resultado = ejecutar(cliente, f);
    EXPECT_FALSE(f.error.has_value());
  } catch (const ErrorVemlo& e) {
    ASSERT_TRUE(f.error.has_value()) << e.what();
    EXPECT_EQ(e, *f.error);
  }
  const auto vistos = servidor.vistos();
  ASSERT_EQ(vistos.size(), 1u);
  EXPECT_EQ(vistos[0].metodo, f.metodo);
  EXPECT_EQ(vistos[0].ruta, f.ruta);
  EXPECT_EQ(vistos[0].cabeceras.count("authorization"), f.token ? 1u : 0u);
  EXPECT_EQ(vistos[0].cabeceras.count("content-type"), f.metodo == "GET" ? 0u : 1u);
  EXPECT_EQ(vistos[0].cuerpo.empty() ? json() : json::parse(vistos[0].cuerpo), f.cuerpo);
  if (f.operacion == Operacion::entrar && !f.error) {
    EXPECT_TRUE(resultado == "tok-nuevo" || resultado == "desafio d-1");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cuenta, Cuentas,
    testing::Values(FilaCuenta{"EntrarSinCodigo",
                               Operacion::entrar,
                               "ana@vemlo.test",
                               "bien",
                               std::nullopt,
                               "POST",
                               "/v1/sesiones",
                               {{"correo", "ana@vemlo.test"}, {"clave", "bien"}},
                               std::nullopt},
                    FilaCuenta{"EntrarConDesafio",
                               Operacion::entrar,
                               "mfa@vemlo.test",
                               "bien",
                               std::nullopt,
                               "POST",
                               "/v1/sesiones",
                               {{"correo", "mfa@vemlo.test"}, {"clave", "bien"}},
                               std::nullopt},
                    FilaCuenta{"ClaveEquivocada",
                               Operacion::entrar,
                               "ana@vemlo.test",
                               "mal",
                               std::nullopt,
                               "POST",
                               "/v1/sesiones",
                               {{"correo", "ana@vemlo.test"}, {"clave", "mal"}},
                               ErrorVemlo::api(401, "credenciales")},
                    FilaCuenta{"CodigoCorrecto",
                               Operacion::confirmar,
                               "d-1",
                               "123456",
                               std::nullopt,
                               "POST",
                               "/v1/sesiones/mfa",
                               {{"desafio", "d-1"}, {"codigo", "123456"}},
                               std::nullopt},
                    FilaCuenta{"CodigoEquivocado",
                               Operacion::confirmar,
                               "d-1",
                               "000000",
                               std::nullopt,
                               "POST",
                               "/v1/sesiones/mfa",
                               {{"desafio", "d-1"}, {"codigo", "000000"}},
                               ErrorVemlo::api(401, "codigoMfa")},
                    FilaCuenta{"Yo", Operacion::yo, "", "", "tok-bueno", "GET", "/v1/yo", nullptr,
                               std::nullopt},
                    FilaCuenta{"YoConTokenVencido", Operacion::yo, "", "", "tok-viejo", "GET",
                               "/v1/yo", nullptr, ErrorVemlo::api(401, "sesion")},
                    FilaCuenta{"CerrarSesion", Operacion::cerrar, "", "", "tok-bueno", "DELETE",
                               "/v1/sesiones", json::object(), std::nullopt}),
    [](const auto& info) { return info.param.nombre; });

// Answers that carry a token but do not decode, and a transfer that fails while sending one:
// no error text mentions it.
TEST(Cuenta, ElTokenNoApareceEnNingunError) {
  const std::string secreto = "tok-secreto-7f3a";
  pruebas::ServidorHttp servidor([&](const httplib::Request& pedido, httplib::Response& r) {
    if (pedido.path == "/v1/yo")
      return r.set_content(R"({"token":")" + secreto, "application/json");
    r.set_content(R"({"token":")" + secreto + R"(","usuario":5})", "application/json");
  });
  const auto sinSecreto = [&](const ErrorVemlo& e) {
    return std::string(e.what()).find(secreto) == std::string::npos &&
           e.descripcion().find(secreto) == std::string::npos;
  };
  const Vemlo cliente(servidor.base(), secreto, std::make_shared<TransporteCurl>());
  const Vemlo sinServicio("http://127.0.0.1:" + std::to_string(pruebas::puertoCerrado()), secreto,
                          std::make_shared<TransporteCurl>());
  for (const auto& llamada :
       std::vector<std::function<void()>>{[&] { cliente.entrar("ana@vemlo.test", "bien"); },
                                          [&] { cliente.yo(); }, [&] { sinServicio.yo(); }}) {
    try {
      llamada();
      ADD_FAILURE() << "se esperaba un fallo";
    } catch (const ErrorVemlo& e) {
      EXPECT_TRUE(sinSecreto(e)) << "el texto del error lleva el token";
    }
  }
}

}  // namespace
}  // namespace vemlo
