// A service of its own, seeded by itself: the accounts it prints at start, backup codes that
// serve once, what it keeps across a stop, and names that never leave its data folder.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

TEST(Persistencia, AlReiniciarSigueTodoYLaDemoNoSeSiembraDosVeces) {
  Escenario e(conPartesChicas, Siembra::propia);
  auto& servicio = e.servicio;
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

  // A backup code serves once.
  const auto anonimo = e.anonimo();
  const auto conCodigo = [&](const std::string& codigo) {
    const auto reto = anonimo.post("/v1/sesiones", {{"correo", correoMfa}, {"clave", claveDemo}});
    EXPECT_TRUE(esOk(reto));
    return anonimo.post("/v1/sesiones/mfa",
                        {{"desafio", reto.json().value("desafio", "")}, {"codigo", codigo}});
  };
  const auto respaldo = servicio.respaldo().at(3);
  const auto c = conCodigo(respaldo);
  ASSERT_TRUE(esOk(c));
  EXPECT_TRUE(desdeJson<Cuenta>(c.json()).token);
  EXPECT_TRUE(esError(conCodigo(respaldo), 401, "codigoMfa"));

  // Valid names that would mean something to a file system.
  const auto proyectos = idCarpeta(e.raizAcme(), "Proyectos");
  subir(e.demo, proyectos, "..\\fuera.txt", "fuera", "text/plain");
  subir(e.demo, proyectos, "%2e%2e%2ffuera.txt", "fuera", "text/plain");
  crearCarpeta(e.demo, proyectos, "..\\..\\fuera");

  const auto bytes = bytesDePrueba(200000, 11);
  const auto id = subir(e.demo, e.acme.carpetaRaizId, "persiste.bin", bytes);
  const auto secreto = servicio.secretoTotp();
  const auto antes = e.raizAcme();
  ASSERT_EQ(servicio.detener(), 0) << servicio.registroDeErrores();

  std::vector<std::string> arriba;
  for (const auto& entrada : std::filesystem::directory_iterator(servicio.raiz()))
    arriba.push_back(entrada.path().filename().string());
  std::ranges::sort(arriba);
  EXPECT_EQ(arriba, (std::vector<std::string>{"datos", "servicio.stderr"}));
  for (const auto& entrada : std::filesystem::recursive_directory_iterator(servicio.datos()))
    EXPECT_EQ(entrada.path().filename().string().find("fuera"), std::string::npos)
        << entrada.path() << ": los nombres de archivo del servicio no salen de los nombres";
  EXPECT_FALSE(std::filesystem::exists(servicio.raiz().parent_path() / "fuera.txt"));

  servicio.reanudar();
  EXPECT_EQ(servicio.secretoTotp(), secreto);
  // The used code is no longer among the printed unused ones.
  EXPECT_EQ(servicio.respaldo().size(), 7u);
  EXPECT_EQ(std::ranges::count(servicio.respaldo(), respaldo), 0);
  const ClienteHttp demo(servicio.base(), *entrar(servicio.base(), correoDemo).token);
  EXPECT_TRUE(esOk(e.demo.get("/v1/yo"))) << "el token sigue valiendo";
  const auto cuenta = desdeJson<Cuenta>(demo.get("/v1/yo").json());
  EXPECT_EQ(cuenta.organizaciones, e.cuenta.organizaciones);
  const auto ahora = demo.carpeta(e.acme.carpetaRaizId);
  EXPECT_EQ(ahora.carpetas, antes.carpetas);
  EXPECT_EQ(ahora.archivos, antes.archivos);
  EXPECT_EQ(nombres(ahora.archivos), (std::vector<std::string>{"Léeme.txt", "persiste.bin"}));
  EXPECT_EQ(descargar(demo, id), bytes);
  EXPECT_EQ(nombres(demo.carpeta(e.beta.carpetaRaizId).carpetas),
            std::vector<std::string>{"Manuales"});
  EXPECT_EQ(nombres(demo.carpeta(idCarpeta(ahora, "Fotos")).archivos),
            (std::vector<std::string>{"montaña.png", "playa.jpg"}));
}

}  // namespace
}  // namespace vemlo::pruebas
