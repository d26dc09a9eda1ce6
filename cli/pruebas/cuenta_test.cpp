// Signing in and out through vemlo-cli: the password (and two-step code) from stdin, the
// stored session that later commands use, whoami, and wrong answers.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

class Cuenta_ : public testing::Test, public ConServicio {};

bool pidio(const nlohmann::json& registro, const std::string& metodo, const std::string& ruta) {
  for (const auto& pedido : registro["pedidos"])
    if (pedido["metodo"] == metodo && pedido["ruta"] == ruta) return true;
  return false;
}

TEST_F(Cuenta_, EntraConLaClaveDeStdinYSaleCerrandoLaSesion) {
  auto r = cli({"login", "--email", correoDemo, "--password-stdin"}, "en", "vemlo-demo\n");
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Signed in as Demo Vemlo <demo@vemlo.test>.\n");
  ASSERT_TRUE(SesionGuardada::leer().has_value());

  r = cli({"whoami"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_TRUE(contiene(r.salida, "Demo Vemlo <demo@vemlo.test>\n")) << r.salida;
  EXPECT_TRUE(contiene(r.salida, "COMPANY")) << r.salida;
  EXPECT_TRUE(contiene(r.salida, "Acme     editor")) << r.salida;
  EXPECT_TRUE(contiene(r.salida, "Beta     viewer")) << r.salida;

  r = cli({"logout"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Signed out.\n");
  EXPECT_TRUE(pidio(registro(servicio.base()), "DELETE", "/v1/sesiones"));
  EXPECT_FALSE(SesionGuardada::leer().has_value());

  r = cli({"whoami"});
  EXPECT_EQ(r.estado, 1) << r.resumen();
  EXPECT_TRUE(contiene(r.errores, "You're not signed in.")) << r.errores;
}

// A session the service ended is forgotten, so the next command (and every other program)
// says plainly that nobody is signed in.
TEST_F(Cuenta_, UnaSesionVencidaSeOlvida) {
  const auto demo = entrarComo(correoDemo);
  ClienteHttp::exigir(demo.del("/v1/sesiones"), "cerrar la sesión");
  auto r = cli({"whoami"});
  EXPECT_EQ(r.estado, 1) << r.resumen();
  EXPECT_TRUE(contiene(r.errores, "Your session expired. Please sign in again. (vemlo-cli login)"))
      << r.resumen();
  EXPECT_FALSE(SesionGuardada::leer().has_value());
  r = cli({"whoami"});
  EXPECT_TRUE(contiene(r.errores, "You're not signed in.")) << r.resumen();
}

TEST_F(Cuenta_, SalirSinServicioSaleDeEstaComputadora) {
  entrarComo(correoDemo);
  ASSERT_EQ(servicio.detener(), 0);
  const auto r = cli({"logout"}, "es");
  EXPECT_EQ(r.estado, 0) << r.resumen();
  EXPECT_TRUE(
      r.salida.starts_with("Saliste de tu cuenta en esta computadora. No se pudo avisar a Vemlo: "))
      << r.resumen();
  EXPECT_FALSE(SesionGuardada::leer().has_value());
}

TEST_F(Cuenta_, UnaDireccionDeServicioMalaSeNombra) {
  for (const char* direccion : {"localhost:8787", "ftp://ejemplo.test", "http://"}) {
    const auto r = correr({"whoami"}, {{"VEMLO_SERVICIO", direccion}, {"LANGUAGE", "en"}});
    EXPECT_EQ(r.estado, 2) << r.resumen();
    EXPECT_TRUE(contiene(r.errores, "VEMLO_SERVICIO is not a valid address: ")) << r.resumen();
    EXPECT_TRUE(contiene(r.errores, direccion)) << r.resumen();
  }
}

TEST_F(Cuenta_, EntraConElCodigoDeDosPasosEnLaLineaSiguiente) {
  const auto r = cli({"login", "--email", correoMfa, "--password-stdin"}, "en",
                     "vemlo-demo\n" + servicio.totpAhora() + "\n");
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Signed in as Mara Fernández <mfa@vemlo.test>.\n");
  EXPECT_TRUE(pidio(registro(servicio.base()), "POST", "/v1/sesiones/mfa"));

  const auto quien = cli({"whoami", "--json"});
  ASSERT_EQ(quien.estado, 0) << quien.resumen();
  const auto documento = nlohmann::json::parse(quien.salida);
  EXPECT_EQ(documento["usuario"]["correo"], correoMfa);
  EXPECT_EQ(documento["organizaciones"].size(), 1u);
  EXPECT_EQ(documento["organizaciones"][0]["rol"], "administrador");
  EXPECT_FALSE(documento.contains("token"));
}

TEST_F(Cuenta_, UnCodigoEquivocadoNoGuardaNada) {
  const auto r =
      cli({"login", "--email", correoMfa, "--password-stdin"}, "en", "vemlo-demo\n000000\n");
  EXPECT_EQ(r.estado, 1) << r.resumen();
  EXPECT_TRUE(contiene(r.errores, "That code isn't right.")) << r.errores;
  EXPECT_FALSE(SesionGuardada::leer().has_value());
}

struct FilaEntrar {
  std::string nombre;
  std::vector<std::string> argumentos;
  std::string entrada;
  std::string idioma;
  int estado;
  std::string errores;
};

const std::vector<std::string> conStdin{"login", "--email", correoDemo, "--password-stdin"};

const std::vector<FilaEntrar> entradasMalas{
    FilaEntrar{"ClaveEquivocada", conStdin, "otra\n", "en", 1,
               "The email or password is incorrect."},
    FilaEntrar{"ClaveEquivocadaEnEspanol", conStdin, "otra\n", "es", 1,
               "El correo o la contraseña no son correctos."},
    FilaEntrar{"StdinVacio", conStdin, "", "en", 2, "Standard input ended"},
    FilaEntrar{"StdinSinCorreo",
               {"login", "--password-stdin"},
               "x\n",
               "en",
               2,
               "--password-stdin needs --email."},
    FilaEntrar{"SinTerminal",
               {"login", "--email", correoDemo},
               "",
               "en",
               2,
               "There is no terminal to ask for the password; use --password-stdin."}};

TEST_F(Cuenta_, EntrarMalFallaConSuMensajeYSuEstado) {
  for (const auto& fila : entradasMalas) {
    SCOPED_TRACE(fila.nombre);
    const auto r = cli(fila.argumentos, fila.idioma, fila.entrada);
    EXPECT_EQ(r.estado, fila.estado) << r.resumen();
    EXPECT_TRUE(contiene(r.errores, fila.errores)) << r.resumen();
    EXPECT_FALSE(SesionGuardada::leer().has_value());
  }
}

}  // namespace
}  // namespace vemlo::pruebas
