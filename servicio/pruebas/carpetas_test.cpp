// Folders and files: the shape of a folder view, creating, renaming and moving, and every
// refusal of those changes (taken names, cycles, roles, company roots, unknown ids).
#include <functional>

#include "comun.h"

namespace vemlo::pruebas {
namespace {

TEST(Carpetas, LaRaizTieneLaFormaYElOrdenDeLaDemo) {
  Escenario e;
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

TEST(Carpetas, UnaSubcarpetaLlevaSuRutaDesdeLaRaiz) {
  Escenario e;
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

TEST(Carpetas, ElRolEsElDelUsuarioEnLaEmpresaDeLaCarpeta) {
  Escenario e;
  const auto beta = e.raizBeta();
  EXPECT_EQ(beta.rol, "lector");
  EXPECT_EQ(beta.ruta.at(0).nombre, "Beta");
  EXPECT_EQ(nombres(beta.carpetas), std::vector<std::string>{"Manuales"});
  const auto manuales = e.demo.carpeta(idCarpeta(beta, "Manuales"));
  EXPECT_EQ(manuales.rol, "lector");
  EXPECT_EQ(nombres(manuales.archivos), (std::vector<std::string>{"guia.pdf", "notas.txt"}));
  EXPECT_EQ(e.mara().carpeta(e.acme.carpetaRaizId).rol, "administrador");
}

TEST(Carpetas, CrearRenombrarYMoverSeVenEnLasVistas) {
  Escenario e;
  const auto raiz = e.acme.carpetaRaizId;
  const auto c = e.demo.post("/v1/carpetas", {{"padreId", raiz}, {"nombre", "Nueva"}});
  ASSERT_TRUE(esOk(c));
  const auto nueva = desdeJson<RId>(c.json()).valor;
  const auto vista = e.demo.carpeta(nueva);
  EXPECT_EQ(vista.ruta.back(), (PasoRuta{nueva, "Nueva", false}));
  EXPECT_TRUE(vista.carpetas.empty() && vista.archivos.empty());
  const auto creada = e.raizAcme().carpetas;
  EXPECT_EQ(nombres(creada), (std::vector<std::string>{"Fotos", "Informes", "Nueva", "Proyectos"}));

  EXPECT_TRUE(esOk(e.demo.patch("/v1/carpetas/" + nueva, {{"nombre", "Renombrada"}})));
  const auto leeme = idArchivo(e.raizAcme(), "Léeme.txt");
  EXPECT_TRUE(esOk(e.demo.patch("/v1/archivos/" + leeme, {{"nombre", "Lee.md"}})));
  auto ahora = e.raizAcme();
  EXPECT_EQ(idCarpeta(ahora, "Renombrada"), nueva);
  EXPECT_EQ(idArchivo(ahora, "Lee.md"), leeme);

  const auto proyectos = idCarpeta(ahora, "Proyectos");
  EXPECT_TRUE(esOk(e.demo.post("/v1/carpetas/" + nueva + "/mover", {{"destinoId", proyectos}})));
  EXPECT_TRUE(esOk(e.demo.post("/v1/archivos/" + leeme + "/mover", {{"destinoId", nueva}})));
  ahora = e.raizAcme();
  EXPECT_EQ(nombres(ahora.carpetas), (std::vector<std::string>{"Fotos", "Informes", "Proyectos"}));
  EXPECT_TRUE(ahora.archivos.empty());
  const auto movida = e.demo.carpeta(nueva);
  ASSERT_EQ(movida.ruta.size(), 3u);
  EXPECT_EQ(movida.ruta[1].id, proyectos);
  EXPECT_EQ(idArchivo(movida, "Lee.md"), leeme);
}

TEST(Carpetas, LasListasVanPorNombreNoPorOrdenDeCreacion) {
  Escenario e;
  const auto raiz = e.acme.carpetaRaizId;
  const auto c = e.demo.post("/v1/carpetas", {{"padreId", raiz}, {"nombre", "Orden"}});
  const auto orden = desdeJson<RId>(c.json()).valor;
  for (const char* nombre : {"gamma", "alfa", "beta"}) {
    ASSERT_TRUE(esOk(e.demo.post("/v1/carpetas", {{"padreId", orden}, {"nombre", nombre}})));
    subir(e.demo, orden, std::string(nombre) + ".txt", "x", "text/plain");
  }
  const auto vista = e.demo.carpeta(orden);
  EXPECT_EQ(nombres(vista.carpetas), (std::vector<std::string>{"alfa", "beta", "gamma"}));
  EXPECT_EQ(nombres(vista.archivos),
            (std::vector<std::string>{"alfa.txt", "beta.txt", "gamma.txt"}));
}

TEST(Carpetas, LosNombresDistinguenMayusculas) {
  Escenario e;
  const auto c = e.demo.post("/v1/carpetas", {{"padreId", e.acme.carpetaRaizId}, {"nombre", "fotos"}});
  EXPECT_TRUE(esOk(c));
  const auto vista = e.raizAcme();
  EXPECT_NE(idCarpeta(vista, "fotos"), idCarpeta(vista, "Fotos"));
}

// One refused change. `hacer` may prepare what it needs first.
struct FilaRechazo {
  std::string nombre;
  std::function<Contestacion(Escenario&)> hacer;
  int estado;
  std::string codigo;
  friend void PrintTo(const FilaRechazo& f, std::ostream* os) { *os << f.nombre; }
};

class Rechazos : public testing::TestWithParam<FilaRechazo> {};

TEST_P(Rechazos, RespondenElCodigoYNoCambianNada) {
  Escenario e;
  const auto& fila = GetParam();
  const auto c = fila.hacer(e);
  EXPECT_TRUE(esError(c, fila.estado, fila.codigo));
  // The demo tree is still there as it was (refusals change nothing).
  if (fila.codigo != "noExiste") {
    const auto raiz = e.raizAcme();
    EXPECT_EQ(nombres(raiz.carpetas), (std::vector<std::string>{"Fotos", "Informes", "Proyectos"}));
    EXPECT_EQ(nombres(e.raizBeta().carpetas), std::vector<std::string>{"Manuales"});
  }
}

std::string carpetaDe(Escenario& e, const std::string& nombre) {
  return idCarpeta(e.raizAcme(), nombre);
}
std::string informes2026(Escenario& e) {
  return idCarpeta(e.demo.carpeta(carpetaDe(e, "Informes")), "2026");
}
std::string manuales(Escenario& e) { return idCarpeta(e.raizBeta(), "Manuales"); }
std::string guia(Escenario& e) { return idArchivo(e.demo.carpeta(manuales(e)), "guia.pdf"); }
std::string crear(Escenario& e, const std::string& padre, const std::string& nombre) {
  const auto c = e.demo.post("/v1/carpetas", {{"padreId", padre}, {"nombre", nombre}});
  return desdeJson<RId>(ClienteHttp::exigir(c, "crear " + nombre).json()).valor;
}
Contestacion mover(const ClienteHttp& c, const std::string& tipo, const std::string& id,
                   const std::string& destino) {
  return c.post("/v1/" + tipo + "/" + id + "/mover", {{"destinoId", destino}});
}
Contestacion renombrar(const ClienteHttp& c, const std::string& tipo, const std::string& id,
                       const std::string& nombre) {
  return c.patch("/v1/" + tipo + "/" + id, {{"nombre", nombre}});
}
std::string leeme(Escenario& e) { return idArchivo(e.raizAcme(), "Léeme.txt"); }

INSTANTIATE_TEST_SUITE_P(
    Carpetas, Rechazos,
    testing::Values(
        FilaRechazo{"CrearConNombreDeCarpeta",
                    [](Escenario& e) {
                      return e.demo.post("/v1/carpetas",
                                         {{"padreId", e.acme.carpetaRaizId}, {"nombre", "Fotos"}});
                    },
                    409, "repetido"},
        FilaRechazo{"CrearConNombreDeArchivo",
                    [](Escenario& e) {
                      return e.demo.post("/v1/carpetas", {{"padreId", e.acme.carpetaRaizId},
                                                          {"nombre", "Léeme.txt"}});
                    },
                    409, "repetido"},
        FilaRechazo{"RenombrarCarpetaANombreTomado",
                    [](Escenario& e) {
                      return renombrar(e.demo, "carpetas", carpetaDe(e, "Fotos"), "Informes");
                    },
                    409, "repetido"},
        FilaRechazo{"RenombrarArchivoANombreDeCarpeta",
                    [](Escenario& e) { return renombrar(e.demo, "archivos", leeme(e), "Fotos"); },
                    409, "repetido"},
        FilaRechazo{"MoverADondeElNombreEstaTomado",
                    [](Escenario& e) {
                      crear(e, carpetaDe(e, "Proyectos"), "Fotos");
                      return mover(e.demo, "carpetas", carpetaDe(e, "Fotos"),
                                   carpetaDe(e, "Proyectos"));
                    },
                    409, "repetido"},
        FilaRechazo{"MoverArchivoADondeElNombreEstaTomado",
                    [](Escenario& e) {
                      const auto fotos = carpetaDe(e, "Fotos");
                      subir(e.demo, fotos, "Léeme.txt", "otro", "text/plain");
                      return mover(e.demo, "archivos", leeme(e), fotos);
                    },
                    409, "repetido"},
        FilaRechazo{"MoverCarpetaDentroDeSiMisma",
                    [](Escenario& e) {
                      const auto id = carpetaDe(e, "Informes");
                      return mover(e.demo, "carpetas", id, id);
                    },
                    409, "ciclo"},
        FilaRechazo{"MoverCarpetaASuSubarbol",
                    [](Escenario& e) {
                      return mover(e.demo, "carpetas", carpetaDe(e, "Informes"), informes2026(e));
                    },
                    409, "ciclo"},
        FilaRechazo{"RenombrarLaRaiz",
                    [](Escenario& e) {
                      return renombrar(e.mara(), "carpetas", e.acme.carpetaRaizId, "Otra");
                    },
                    403, "permiso"},
        FilaRechazo{"MoverLaRaiz",
                    [](Escenario& e) {
                      return mover(e.mara(), "carpetas", e.acme.carpetaRaizId,
                                   carpetaDe(e, "Fotos"));
                    },
                    403, "permiso"},
        FilaRechazo{"RaizALaPapelera",
                    [](Escenario& e) {
                      return e.mara().post("/v1/carpetas/" + e.acme.carpetaRaizId + "/papelera");
                    },
                    403, "permiso"},
        FilaRechazo{"LectorCreaCarpeta",
                    [](Escenario& e) {
                      return e.demo.post("/v1/carpetas",
                                         {{"padreId", e.beta.carpetaRaizId}, {"nombre", "Mía"}});
                    },
                    403, "permiso"},
        FilaRechazo{"LectorRenombraCarpeta",
                    [](Escenario& e) { return renombrar(e.demo, "carpetas", manuales(e), "M"); },
                    403, "permiso"},
        FilaRechazo{"LectorRenombraArchivo",
                    [](Escenario& e) { return renombrar(e.demo, "archivos", guia(e), "g.pdf"); },
                    403, "permiso"},
        FilaRechazo{"LectorMueveArchivo",
                    [](Escenario& e) {
                      return mover(e.demo, "archivos", guia(e), e.beta.carpetaRaizId);
                    },
                    403, "permiso"},
        FilaRechazo{"LectorMandaALaPapelera",
                    [](Escenario& e) { return e.demo.post("/v1/archivos/" + guia(e) + "/papelera"); },
                    403, "permiso"},
        FilaRechazo{"LectorSube",
                    [](Escenario& e) {
                      return e.demo.post("/v1/subidas", {{"carpetaId", manuales(e)},
                                                         {"nombre", "a.txt"},
                                                         {"tamanoBytes", 3},
                                                         {"tipo", "text/plain"}});
                    },
                    403, "permiso"},
        FilaRechazo{"VerCarpetaInventada",
                    [](Escenario& e) { return e.demo.get("/v1/carpetas/no-existe-123"); }, 404,
                    "noExiste"},
        FilaRechazo{"VerUnArchivoComoCarpeta",
                    [](Escenario& e) { return e.demo.get("/v1/carpetas/" + leeme(e)); }, 404,
                    "noExiste"},
        FilaRechazo{"CrearEnPadreInventado",
                    [](Escenario& e) {
                      return e.demo.post("/v1/carpetas", {{"padreId", "no-existe"}, {"nombre", "x"}});
                    },
                    404, "noExiste"},
        FilaRechazo{"MoverADestinoInventado",
                    [](Escenario& e) { return mover(e.demo, "archivos", leeme(e), "no-existe"); },
                    404, "noExiste"},
        FilaRechazo{"RenombrarArchivoInventado",
                    [](Escenario& e) { return renombrar(e.demo, "archivos", "no-existe", "x"); },
                    404, "noExiste"},
        FilaRechazo{"OtraEmpresaVerCarpeta",
                    [](Escenario& e) { return e.mara().get("/v1/carpetas/" + manuales(e)); }, 404,
                    "noExiste"},
        FilaRechazo{"OtraEmpresaVerRaiz",
                    [](Escenario& e) { return e.mara().get("/v1/carpetas/" + e.beta.carpetaRaizId); },
                    404, "noExiste"},
        FilaRechazo{"OtraEmpresaRenombrar",
                    [](Escenario& e) { return renombrar(e.mara(), "archivos", guia(e), "x.pdf"); },
                    404, "noExiste"},
        FilaRechazo{"OtraEmpresaComoDestino",
                    [](Escenario& e) {
                      return mover(e.mara(), "carpetas", carpetaDe(e, "Fotos"), manuales(e));
                    },
                    404, "noExiste"},
        FilaRechazo{"OtraEmpresaALaPapelera",
                    [](Escenario& e) { return e.mara().post("/v1/archivos/" + guia(e) + "/papelera"); },
                    404, "noExiste"},
        FilaRechazo{"EnLaPapeleraVer",
                    [](Escenario& e) {
                      const auto id = informes2026(e);
                      e.demo.post("/v1/carpetas/" + carpetaDe(e, "Informes") + "/papelera");
                      return e.demo.get("/v1/carpetas/" + id);
                    },
                    404, "noExiste"},
        FilaRechazo{"EnLaPapeleraRenombrar",
                    [](Escenario& e) {
                      const auto id = leeme(e);
                      e.demo.post("/v1/archivos/" + id + "/papelera");
                      return renombrar(e.demo, "archivos", id, "x.txt");
                    },
                    404, "noExiste"},
        FilaRechazo{"EnLaPapeleraCrearDentro",
                    [](Escenario& e) {
                      const auto id = carpetaDe(e, "Proyectos");
                      e.demo.post("/v1/carpetas/" + id + "/papelera");
                      return e.demo.post("/v1/carpetas", {{"padreId", id}, {"nombre", "x"}});
                    },
                    404, "noExiste"},
        FilaRechazo{"EnLaPapeleraComoDestino",
                    [](Escenario& e) {
                      const auto id = carpetaDe(e, "Proyectos");
                      e.demo.post("/v1/carpetas/" + id + "/papelera");
                      return mover(e.demo, "archivos", leeme(e), id);
                    },
                    404, "noExiste"}),
    [](const auto& info) { return info.param.nombre; });

}  // namespace
}  // namespace vemlo::pruebas
