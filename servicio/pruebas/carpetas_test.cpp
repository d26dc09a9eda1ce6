// Folders and files: the shape of a folder view, roles, creating, renaming and moving, the
// order of lists and the names that are valid. Refusals are rows in rechazos_test.cpp.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

class Carpetas : public Compartida {};

TEST_F(Carpetas, LaRaizTieneLaFormaYElOrdenDeLaDemo) {
  auto& e = compartido();
  const auto c = e.demo.get("/v1/carpetas/" + e.acme.carpetaRaizId);
  ASSERT_TRUE(esOk(c));
  const auto vista = desdeJson<VistaCarpeta>(c.json());
  EXPECT_EQ(vista.id, e.acme.carpetaRaizId);
  EXPECT_EQ(vista.organizacionId, e.acme.id);
  EXPECT_EQ(vista.rol, "editor");
  ASSERT_EQ(vista.ruta.size(), 1u);
  EXPECT_EQ(vista.ruta[0], (PasoRuta{e.acme.carpetaRaizId, "Acme", true}));
  EXPECT_EQ(nombres(vista.carpetas), (std::vector<std::string>{"Fotos", "Informes", "Proyectos"}));
  ASSERT_EQ(nombres(vista.archivos), std::vector<std::string>{"Léeme.txt"});
  const auto& leeme = vista.archivos[0];
  EXPECT_EQ(leeme.tipo, "text/plain");
  EXPECT_GT(leeme.tamanoBytes, 0);
  EXPECT_TRUE(esFecha(leeme.actualizadoEn)) << leeme.actualizadoEn;
  EXPECT_NE(leeme.miniatura, std::optional<bool>(true));
  for (const auto& hija : vista.carpetas) {
    if (hija.creadaEn) {
      EXPECT_TRUE(esFecha(*hija.creadaEn)) << *hija.creadaEn;
    }
  }
}

TEST_F(Carpetas, UnaSubcarpetaLlevaSuRutaDesdeLaRaiz) {
  auto& e = compartido();
  const auto informes = e.demo.carpeta(idCarpeta(e.raizAcme(), "Informes"));
  const auto id2026 = idCarpeta(informes, "2026");
  const auto vista = e.demo.carpeta(id2026);
  ASSERT_EQ(vista.ruta.size(), 3u);
  EXPECT_EQ(vista.ruta[0], (PasoRuta{e.acme.carpetaRaizId, "Acme", true}));
  EXPECT_EQ(vista.ruta[1], (PasoRuta{informes.id, "Informes", false}));
  EXPECT_EQ(vista.ruta[2], (PasoRuta{id2026, "2026", false}));
  const auto& q1 = archivo(vista, "q1.pdf");
  EXPECT_EQ(q1.tipo, "application/pdf");
  EXPECT_TRUE(descargar(e.demo, q1.id).starts_with("%PDF"));
}

TEST_F(Carpetas, ElRolEsElDelUsuarioEnLaEmpresaDeLaCarpeta) {
  auto& e = compartido();
  const auto beta = e.raizBeta();
  EXPECT_EQ(beta.rol, "lector");
  EXPECT_EQ(beta.ruta.at(0).nombre, "Beta");
  EXPECT_EQ(nombres(beta.carpetas), std::vector<std::string>{"Manuales"});
  const auto manuales = e.demo.carpeta(idCarpeta(beta, "Manuales"));
  EXPECT_EQ(manuales.rol, "lector");
  EXPECT_EQ(nombres(manuales.archivos), (std::vector<std::string>{"guia.pdf", "notas.txt"}));
  EXPECT_EQ(e.mara().carpeta(e.acme.carpetaRaizId).rol, "administrador");
}

TEST_F(Carpetas, OtroUsuarioNoVeUnaEmpresaEnLaQueNoEsta) {
  auto& e = compartido();
  const auto mara = e.mara();
  const auto org = codificar(e.beta.id);
  for (const auto& ruta :
       {"/v1/papelera?organizacionId=" + org, "/v1/buscar?organizacionId=" + org + "&q=a",
        "/v1/recientes?organizacionId=" + org, "/v1/favoritos?organizacionId=" + org}) {
    const auto c = mara.get(ruta);
    EXPECT_TRUE(c.estado == 404 || c.estado == 403) << ruta << " → " << c.resumen();
    EXPECT_TRUE(c.error() == "noExiste" || c.error() == "permiso") << ruta << " → " << c.resumen();
    EXPECT_EQ(c.cuerpo.find("guia"), std::string::npos);
  }
}

TEST_F(Carpetas, CrearRenombrarYMoverSeVenEnLasVistas) {
  auto& e = compartido();
  const auto caso = carpetaNueva(e);
  const auto c = e.demo.post("/v1/carpetas", {{"padreId", caso}, {"nombre", "Nueva"}});
  ASSERT_TRUE(esOk(c));
  const auto nueva = desdeJson<RId>(c.json()).valor;
  const auto vista = e.demo.carpeta(nueva);
  EXPECT_EQ(vista.ruta.back(), (PasoRuta{nueva, "Nueva", false}));
  EXPECT_TRUE(vista.carpetas.empty() && vista.archivos.empty());
  const auto destino = crearCarpeta(e.demo, caso, "Destino");
  const auto leeme = subir(e.demo, caso, "Léeme.txt", "hola", "text/plain");
  EXPECT_EQ(nombres(e.demo.carpeta(caso).carpetas), (std::vector<std::string>{"Destino", "Nueva"}));

  EXPECT_TRUE(esOk(e.demo.patch("/v1/carpetas/" + nueva, {{"nombre", "Renombrada"}})));
  EXPECT_TRUE(esOk(e.demo.patch("/v1/archivos/" + leeme, {{"nombre", "Lee.md"}})));
  auto ahora = e.demo.carpeta(caso);
  EXPECT_EQ(idCarpeta(ahora, "Renombrada"), nueva);
  EXPECT_EQ(idArchivo(ahora, "Lee.md"), leeme);

  EXPECT_TRUE(esOk(e.demo.post("/v1/carpetas/" + nueva + "/mover", {{"destinoId", destino}})));
  EXPECT_TRUE(esOk(e.demo.post("/v1/archivos/" + leeme + "/mover", {{"destinoId", nueva}})));
  ahora = e.demo.carpeta(caso);
  EXPECT_EQ(nombres(ahora.carpetas), std::vector<std::string>{"Destino"});
  EXPECT_TRUE(ahora.archivos.empty());
  const auto movida = e.demo.carpeta(nueva);
  ASSERT_EQ(movida.ruta.size(), ahora.ruta.size() + 2);
  EXPECT_EQ(movida.ruta[ahora.ruta.size()].id, destino);
  EXPECT_EQ(idArchivo(movida, "Lee.md"), leeme);
}

TEST_F(Carpetas, LasListasVanPorNombreNoPorOrdenDeCreacion) {
  auto& e = compartido();
  const auto orden = carpetaNueva(e);
  for (const char* nombre : {"gamma", "alfa", "beta"}) {
    crearCarpeta(e.demo, orden, nombre);
    subir(e.demo, orden, std::string(nombre) + ".txt", "x", "text/plain");
  }
  const auto vista = e.demo.carpeta(orden);
  EXPECT_EQ(nombres(vista.carpetas), (std::vector<std::string>{"alfa", "beta", "gamma"}));
  EXPECT_EQ(nombres(vista.archivos),
            (std::vector<std::string>{"alfa.txt", "beta.txt", "gamma.txt"}));
}

TEST_F(Carpetas, LosNombresDistinguenMayusculas) {
  auto& e = compartido();
  const auto caso = carpetaNueva(e);
  crearCarpeta(e.demo, caso, "Fotos");
  EXPECT_TRUE(esOk(e.demo.post("/v1/carpetas", {{"padreId", caso}, {"nombre", "fotos"}})));
  const auto vista = e.demo.carpeta(caso);
  EXPECT_NE(idCarpeta(vista, "fotos"), idCarpeta(vista, "Fotos"));
}

TEST_F(Carpetas, UnNombreDe255BytesEsValido) {
  auto& e = compartido();
  const auto caso = carpetaNueva(e);
  std::string nombre;
  for (int i = 0; i < 127; ++i) nombre += "ñ";
  nombre += "x";
  ASSERT_EQ(nombre.size(), 255u);
  const auto c = e.demo.post("/v1/carpetas", {{"padreId", caso}, {"nombre", nombre}});
  ASSERT_TRUE(esOk(c));
  EXPECT_EQ(e.demo.carpeta(desdeJson<RId>(c.json()).valor).ruta.back().nombre, nombre);
  const auto id = subir(e.demo, caso, std::string(255, 'a'), "hola", "text/plain");
  EXPECT_EQ(archivo(e.demo.carpeta(caso), std::string(255, 'a')).id, id);
}

TEST_F(Carpetas, NombresRarosPeroValidosSeGuardanTalCual) {
  auto& e = compartido();
  const auto caso = carpetaNueva(e);
  const std::vector<std::string> raros{
      "...", "..a", "a..",     " espacio ", "..\\..\\fuera.txt", "%2e%2e%2ffuera",
      "~",   "-rf", ".oculto", "日本語.txt"};
  for (const auto& nombre : raros) {
    SCOPED_TRACE(nombre);
    subir(e.demo, caso, nombre, "contenido de " + nombre, "text/plain");
  }
  const auto vista = e.demo.carpeta(caso);
  for (const auto& nombre : raros)
    EXPECT_EQ(descargar(e.demo, idArchivo(vista, nombre)), "contenido de " + nombre);
}

}  // namespace
}  // namespace vemlo::pruebas
