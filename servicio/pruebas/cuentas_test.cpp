// Accounts and sessions: sign-in with and without a second step, backup codes, wrong
// passwords and the attempt limit, the session token's life.
#include <set>

#include "comun.h"

namespace vemlo::pruebas {
namespace {

nlohmann::json credenciales(const std::string& correo, const std::string& clave = claveDemo) {
  return {{"correo", correo}, {"clave", clave}};
}

// A six-digit code that is none of the ones valid around now.
std::string codigoFalso(const ServicioEnMarcha& s) {
  const auto ahora = std::chrono::system_clock::now();
  std::set<std::string> validos;
  for (int paso = -2; paso <= 2; ++paso) validos.insert(s.totpEn(ahora + std::chrono::seconds(30 * paso)));
  for (int i = 0;; ++i) {
    auto codigo = std::to_string(100000 + i * 7919);
    if (!validos.contains(codigo)) return codigo;
  }
}

std::string desafio(const ClienteHttp& anonimo) {
  const auto c = anonimo.post("/v1/sesiones", credenciales(correoMfa));
  EXPECT_TRUE(esOk(c));
  return c.json().value("desafio", std::string());
}

TEST(Cuentas, ElArranqueImprimeLasCuentasDeLaDemo) {
  ServicioEnMarcha servicio({"--demo", "--pruebas"}, Siembra::propia);
  ASSERT_EQ(servicio.cuentas().size(), 2u);
  EXPECT_EQ(servicio.cuentas()[0].correo, correoDemo);
  EXPECT_EQ(servicio.cuentas()[0].clave, claveDemo);
  EXPECT_TRUE(servicio.cuentas()[0].secretoTotp.empty());
  EXPECT_EQ(servicio.cuentas()[1].correo, correoMfa);
  EXPECT_FALSE(servicio.secretoTotp().empty());
  ASSERT_EQ(servicio.respaldo().size(), 8u);
  for (const auto& codigo : servicio.respaldo())
    EXPECT_TRUE(codigo.size() == 10 && soloDe(codigo, "abcdefghijklmnopqrstuvwxyz0123456789"))
        << codigo;
}

TEST(Cuentas, EntrarSinSegundoPasoDaLaCuentaConToken) {
  ServicioEnMarcha servicio;
  const auto c = ClienteHttp(servicio.base()).post("/v1/sesiones", credenciales(correoDemo));
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

TEST(Cuentas, YoDaLaCuentaSinToken) {
  Escenario e;
  const auto c = e.demo.get("/v1/yo");
  ASSERT_TRUE(esOk(c));
  const auto j = c.json();
  EXPECT_FALSE(j.contains("token") && !j["token"].is_null()) << c.cuerpo;
  const auto cuenta = desdeJson<Cuenta>(j);
  EXPECT_EQ(cuenta.usuario, e.cuenta.usuario);
  EXPECT_EQ(cuenta.organizaciones, e.cuenta.organizaciones);
}

TEST(Cuentas, ElSegundoPasoPideDesafioYElCodigoTotpLoCompleta) {
  ServicioEnMarcha servicio;
  const ClienteHttp anonimo(servicio.base());
  const auto reto = anonimo.post("/v1/sesiones", credenciales(correoMfa));
  ASSERT_TRUE(esOk(reto));
  const auto j = reto.json();
  EXPECT_EQ(j.value("mfa", false), true) << reto.cuerpo;
  EXPECT_FALSE(j.contains("token")) << "el token no puede llegar antes del código";
  const auto respuesta = desdeJson<RespuestaEntrar>(j);
  ASSERT_TRUE(std::holds_alternative<RespuestaEntrar::Codigo>(respuesta.valor)) << reto.cuerpo;
  const auto id = std::get<RespuestaEntrar::Codigo>(respuesta.valor).desafio;
  EXPECT_FALSE(id.empty());

  const auto c = anonimo.post("/v1/sesiones/mfa", {{"desafio", id}, {"codigo", servicio.totpAhora()}});
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

TEST(Cuentas, UnCodigoErroneoEsCodigoMfa) {
  ServicioEnMarcha servicio;
  const ClienteHttp anonimo(servicio.base());
  const auto c = anonimo.post("/v1/sesiones/mfa",
                              {{"desafio", desafio(anonimo)}, {"codigo", codigoFalso(servicio)}});
  EXPECT_TRUE(esError(c, 401, "codigoMfa"));
  EXPECT_FALSE(c.json().contains("token"));
}

TEST(Cuentas, UnCodigoDeRespaldoSirveUnaSolaVez) {
  ServicioEnMarcha servicio;
  const ClienteHttp anonimo(servicio.base());
  const auto codigo = servicio.respaldo().at(3);
  const auto c = anonimo.post("/v1/sesiones/mfa", {{"desafio", desafio(anonimo)}, {"codigo", codigo}});
  ASSERT_TRUE(esOk(c));
  EXPECT_TRUE(desdeJson<Cuenta>(c.json()).token);

  const auto otra = anonimo.post("/v1/sesiones/mfa", {{"desafio", desafio(anonimo)}, {"codigo", codigo}});
  EXPECT_TRUE(esError(otra, 401, "codigoMfa"));

  // The used code is no longer among the printed unused ones.
  servicio.reiniciar();
  const auto& quedan = servicio.respaldo();
  EXPECT_EQ(quedan.size(), 7u);
  EXPECT_EQ(std::ranges::count(quedan, codigo), 0);
}

TEST(Cuentas, ClaveErroneaOCorreoDesconocidoSonCredenciales) {
  ServicioEnMarcha servicio;
  const ClienteHttp anonimo(servicio.base());
  EXPECT_TRUE(esError(anonimo.post("/v1/sesiones", credenciales(correoDemo, "otra")), 401,
                      "credenciales"));
  EXPECT_TRUE(esError(anonimo.post("/v1/sesiones", credenciales("nadie@vemlo.test")), 401,
                      "credenciales"));
  EXPECT_TRUE(esError(anonimo.post("/v1/sesiones", credenciales("DEMO@vemlo.test", "Vemlo-demo")),
                      401, "credenciales"));
}

TEST(Cuentas, TrasCincoFallosLlegaIntentosAunConLaClaveBuena) {
  ServicioEnMarcha servicio;
  const ClienteHttp anonimo(servicio.base());
  for (int i = 0; i < 5; ++i)
    EXPECT_TRUE(esError(anonimo.post("/v1/sesiones", credenciales(correoDemo, "mala")), 401,
                        "credenciales"))
        << "intento " << i + 1;
  EXPECT_TRUE(esError(anonimo.post("/v1/sesiones", credenciales(correoDemo)), 429, "intentos"));
  EXPECT_TRUE(esError(anonimo.post("/v1/sesiones", credenciales(correoDemo, "mala")), 429,
                      "intentos"));
  // Another address is not limited.
  EXPECT_TRUE(esOk(anonimo.post("/v1/sesiones", credenciales(correoMfa))));
}

struct FilaSesion {
  std::string nombre;
  std::optional<std::string> autorizacion;  // none: no Authorization header
};

class SinSesion : public testing::TestWithParam<FilaSesion> {};

TEST_P(SinSesion, YoEsSesion401) {
  ServicioEnMarcha servicio;
  httplib::Headers cabeceras;
  if (GetParam().autorizacion) cabeceras.emplace("Authorization", *GetParam().autorizacion);
  const auto c = ClienteHttp(servicio.base()).get("/v1/yo", cabeceras);
  EXPECT_TRUE(esError(c, 401, "sesion"));
}

INSTANTIATE_TEST_SUITE_P(
    Cuentas, SinSesion,
    testing::Values(FilaSesion{"SinCabecera", std::nullopt},
                    FilaSesion{"TokenInventado", "Bearer inventado"},
                    FilaSesion{"BearerVacio", "Bearer "},
                    FilaSesion{"OtroEsquema", "Basic ZGVtbzp2ZW1sby1kZW1v"}),
    [](const auto& info) { return info.param.nombre; });

TEST(Cuentas, CerrarSesionRevocaSoloEseToken) {
  Escenario e;
  const auto otro = e.demo.conToken(*entrar(e.servicio.base(), correoDemo).token);
  EXPECT_TRUE(esOk(e.demo.del("/v1/sesiones")));
  EXPECT_TRUE(esError(e.demo.get("/v1/yo"), 401, "sesion"));
  EXPECT_TRUE(esError(e.demo.get("/v1/carpetas/" + e.acme.carpetaRaizId), 401, "sesion"));
  EXPECT_TRUE(esOk(otro.get("/v1/yo")));
}

TEST(Cuentas, SinTokenNadaDeLaEmpresaSeVe) {
  Escenario e;
  EXPECT_TRUE(esError(e.anonimo().get("/v1/carpetas/" + e.acme.carpetaRaizId), 401, "sesion"));
  EXPECT_TRUE(esError(e.anonimo().post("/v1/carpetas", {{"padreId", e.acme.carpetaRaizId},
                                                        {"nombre", "x"}}),
                      401, "sesion"));
  EXPECT_TRUE(esError(e.anonimo().get("/v1/buscar?organizacionId=" + codificar(e.acme.id) + "&q=a"),
                      401, "sesion"));
}

}  // namespace
}  // namespace vemlo::pruebas
