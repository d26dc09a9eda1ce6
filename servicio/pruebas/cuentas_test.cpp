// Accounts and sessions: sign-in with and without a second step, the session token's life and
// the attempt limit. Refusals are rows in rechazos_test.cpp; printed accounts and backup codes
// in seguridad_test.cpp.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

class Cuentas : public Compartida {};

nlohmann::json credenciales(const std::string& correo, const std::string& clave = claveDemo) {
  return {{"correo", correo}, {"clave", clave}};
}

TEST_F(Cuentas, EntrarSinSegundoPasoDaLaCuentaConToken) {
  const auto c = compartido().anonimo().post("/v1/sesiones", credenciales(correoDemo));
  ASSERT_TRUE(esOk(c));
  const auto j = c.json();
  EXPECT_FALSE(j.value("mfa", false));
  ASSERT_TRUE(j.contains("correoVerificado") && j["correoVerificado"].is_boolean()) << c.cuerpo;
  const auto respuesta = desdeJson<RespuestaEntrar>(j);
  ASSERT_TRUE(std::holds_alternative<RespuestaEntrar::Lista>(respuesta.valor));
  const auto cuenta = desdeJson<Cuenta>(j);
  ASSERT_TRUE(cuenta.token);
  EXPECT_FALSE(cuenta.token->empty());
  EXPECT_EQ(cuenta.usuario.correo, correoDemo);
  EXPECT_EQ(cuenta.usuario.nombre, "Demo Vemlo");
  EXPECT_FALSE(cuenta.usuario.id.empty());
  ASSERT_EQ(cuenta.organizaciones.size(), 2u);
  const auto& acme = empresa(cuenta, "Acme");
  const auto& beta = empresa(cuenta, "Beta");
  EXPECT_EQ(acme.rol, "editor");
  EXPECT_EQ(beta.rol, "lector");
  EXPECT_NE(acme.id, beta.id);
  EXPECT_FALSE(acme.carpetaRaizId.empty());
  EXPECT_NE(acme.carpetaRaizId, beta.carpetaRaizId);
}

TEST_F(Cuentas, YoDaLaCuentaSinToken) {
  auto& e = compartido();
  const auto c = e.demo.get("/v1/yo");
  ASSERT_TRUE(esOk(c));
  const auto j = c.json();
  EXPECT_FALSE(j.contains("token") && !j["token"].is_null()) << c.cuerpo;
  const auto cuenta = desdeJson<Cuenta>(j);
  EXPECT_EQ(cuenta.usuario, e.cuenta.usuario);
  EXPECT_EQ(cuenta.organizaciones, e.cuenta.organizaciones);
}

TEST_F(Cuentas, ElSegundoPasoPideDesafioYElCodigoTotpLoCompleta) {
  auto& e = compartido();
  const auto anonimo = e.anonimo();
  const auto reto = anonimo.post("/v1/sesiones", credenciales(correoMfa));
  ASSERT_TRUE(esOk(reto));
  const auto j = reto.json();
  EXPECT_EQ(j.value("mfa", false), true) << reto.cuerpo;
  EXPECT_FALSE(j.contains("token")) << "el token no puede llegar antes del código";
  const auto respuesta = desdeJson<RespuestaEntrar>(j);
  ASSERT_TRUE(std::holds_alternative<RespuestaEntrar::Codigo>(respuesta.valor)) << reto.cuerpo;
  const auto id = std::get<RespuestaEntrar::Codigo>(respuesta.valor).desafio;
  EXPECT_FALSE(id.empty());

  const auto c =
      anonimo.post("/v1/sesiones/mfa", {{"desafio", id}, {"codigo", e.servicio.totpAhora()}});
  ASSERT_TRUE(esOk(c));
  const auto cuenta = desdeJson<Cuenta>(c.json());
  ASSERT_TRUE(cuenta.token);
  EXPECT_EQ(cuenta.usuario.nombre, "Mara Fernández");
  EXPECT_EQ(cuenta.usuario.correo, correoMfa);
  ASSERT_EQ(cuenta.organizaciones.size(), 1u);
  EXPECT_EQ(cuenta.organizaciones[0].nombre, "Acme");
  EXPECT_EQ(cuenta.organizaciones[0].rol, "administrador");
  EXPECT_TRUE(esOk(anonimo.conToken(*cuenta.token).get("/v1/yo")));
}

TEST_F(Cuentas, CerrarSesionRevocaSoloEseToken) {
  auto& e = compartido();
  const auto una = e.demo.conToken(*entrar(e.servicio.base(), correoDemo).token);
  const auto otra = e.demo.conToken(*entrar(e.servicio.base(), correoDemo).token);
  EXPECT_TRUE(esOk(una.del("/v1/sesiones")));
  EXPECT_TRUE(esError(una.get("/v1/yo"), 401, "sesion"));
  EXPECT_TRUE(esError(una.get("/v1/carpetas/" + e.acme.carpetaRaizId), 401, "sesion"));
  EXPECT_TRUE(esOk(otra.get("/v1/yo")));
  EXPECT_TRUE(esOk(e.demo.get("/v1/yo")));
}

// A service of its own: the limit counts every failure of the address.
TEST(CuentasPropias, TrasCincoFallosLlegaIntentosAunConLaClaveBuena) {
  ServicioEnMarcha servicio;
  const ClienteHttp anonimo(servicio.base());
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(esError(anonimo.post("/v1/sesiones", credenciales(correoDemo, "mala")), 401,
                        "credenciales"))
        << "intento " << i + 1;
  EXPECT_TRUE(esError(anonimo.post("/v1/sesiones", credenciales(correoDemo)), 429, "intentos"));
  EXPECT_TRUE(
      esError(anonimo.post("/v1/sesiones", credenciales(correoDemo, "mala")), 429, "intentos"));
  // Another address is not limited.
  EXPECT_TRUE(esOk(anonimo.post("/v1/sesiones", credenciales(correoMfa))));
}

}  // namespace
}  // namespace vemlo::pruebas
