// Signing in, the two-step code, the account check and signing out: the exact
// request each sends, and that no error text ever carries the session token.
#include <gtest/gtest.h>

#include "servidor_prueba.h"

namespace vemlo {
namespace {

using pruebas::FilaOperacion;
using pruebas::Operaciones;
using V = const Vemlo&;

std::string tokenDe(const RespuestaEntrar& respuesta) {
  return std::get<RespuestaEntrar::Lista>(respuesta.valor).cuenta.token.value_or("");
}

// The server answers with a token and the user "Ana" (see carpetas_test.cpp).
INSTANTIATE_TEST_SUITE_P(
    Cuenta, Operaciones,
    testing::Values(
        FilaOperacion{"Entrar",
                      [](V c) { EXPECT_EQ(tokenDe(c.entrar("ana@v.test", "bien")), "tok-nuevo"); },
                      "POST", "/v1/sesiones", R"({"correo":"ana@v.test","clave":"bien"})"},
        FilaOperacion{"ConfirmarCodigo",
                      [](V c) { EXPECT_EQ(c.confirmarCodigo("d-1", "123456").token, "tok-nuevo"); },
                      "POST", "/v1/sesiones/mfa", R"({"desafio":"d-1","codigo":"123456"})"},
        FilaOperacion{"Yo", [](V c) { EXPECT_EQ(c.yo().usuario.nombre, "Ana"); }, "GET", "/v1/yo"},
        FilaOperacion{"CerrarSesion", [](V c) { c.cerrarSesion(); }, "DELETE", "/v1/sesiones",
                      "{}"}),
    pruebas::porNombre);

// Answers that carry a token but do not decode, and a transfer that fails while
// sending one.
TEST(Cuenta, ElTokenNoApareceEnNingunError) {
  const std::string secreto = "tok-secreto-7f3a";
  pruebas::ServidorHttp servidor([&](const httplib::Request& pedido, httplib::Response& r) {
    if (pedido.path == "/v1/yo")
      return r.set_content(R"({"token":")" + secreto, "application/json");
    r.set_content(R"({"token":")" + secreto + R"(","usuario":5})", "application/json");
  });
  const auto cliente = pruebas::clienteDe(servidor.base(), secreto);
  const auto sinServicio =
      pruebas::clienteDe("http://127.0.0.1:" + std::to_string(pruebas::puertoCerrado()), secreto);
  for (const auto& error :
       {pruebas::falla([&] { cliente.entrar("ana@v.test", "bien"); }),
        pruebas::falla([&] { cliente.yo(); }), pruebas::falla([&] { sinServicio.yo(); })}) {
    ASSERT_TRUE(error) << "se esperaba un fallo";
    EXPECT_EQ(std::string(error->what()).find(secreto), std::string::npos);
    EXPECT_EQ(error->descripcion().find(secreto), std::string::npos);
  }
}

}  // namespace
}  // namespace vemlo
