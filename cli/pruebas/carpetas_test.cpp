// The folder commands through vemlo-cli against the demo content: what each prints and how it
// ends (one row per case), then the changes they make, checked on the service.
#include "comun.h"

namespace vemlo::pruebas {
namespace {

struct FilaOrden {
  std::string nombre;
  std::vector<std::string> argumentos;
  int estado;
  std::vector<std::string> salida;   // pieces stdout must hold
  std::vector<std::string> errores;  // pieces stderr must hold
  std::string idioma = "en";
};

// Each row runs on the same service: rows only read, or fail without changing anything.
class Ordenes : public testing::Test, public ConServicio {
 protected:
  void probar(const std::vector<FilaOrden>& filas) {
    entrarComo(correoDemo);
    for (const auto& fila : filas) {
      SCOPED_TRACE(fila.nombre);
      const auto r = cli(fila.argumentos, fila.idioma);
      EXPECT_EQ(r.estado, fila.estado) << r.resumen();
      for (const auto& parte : fila.salida)
        EXPECT_TRUE(contiene(r.salida, parte)) << parte << "\n" << r.resumen();
      for (const auto& parte : fila.errores)
        EXPECT_TRUE(contiene(r.errores, parte)) << parte << "\n" << r.resumen();
      if (fila.errores.empty()) {
        EXPECT_EQ(r.errores, "");
      }
    }
  }
};

using V = std::vector<std::string>;

const std::vector<FilaOrden> filas{

    FilaOrden{"LsRaiz",
              {"ls", "--company", "Acme"},
              0,
              {"Fotos/\nInformes/\nProyectos/\nLéeme.txt\n"},
              {}},
    FilaOrden{"LsEmpresaAntesDeLaOrden",
              {"--company", "Acme", "ls", "/Fotos"},
              0,
              {"playa.jpg", "montaña.png"},
              {}},
    FilaOrden{"LsLargo",
              {"ls", "-l", "--company", "Acme", "/Informes/2026"},
              0,
              {"q1.pdf\n", " B  ", "2026"},
              {}},
    FilaOrden{
        "LsDeUnArchivo", {"ls", "--company", "Acme", "/Informes/2026/q1.pdf"}, 0, {"q1.pdf\n"}, {}},
    FilaOrden{"LsJson",
              {"ls", "--json", "--company", "Acme", "Fotos"},
              0,
              {"\"nombre\": \"playa.jpg\"", "\"ruta\": ["},
              {}},
    FilaOrden{"LsEmpresaPorMinusculas",
              {"ls", "--company", "beta", "/Manuales"},
              0,
              {"guia.pdf", "notas.txt"},
              {}},
    FilaOrden{"LsPuntosEnLaRuta",
              {"ls", "--company", "Acme", "/Fotos/../Informes/./2026"},
              0,
              {"q1.pdf"},
              {}},
    FilaOrden{"LsNadaConEseNombre",
              {"ls", "--company", "Acme", "/Informes/nada"},
              1,
              {},
              {"There's nothing called “nada” in “/Informes”."}},
    FilaOrden{"LsArchivoComoCarpeta",
              {"ls", "--company", "Acme", "/Léeme.txt/x"},
              1,
              {},
              {"“/Léeme.txt” is a file, not a folder."}},
    FilaOrden{"SinElegirEmpresa",
              {"ls"},
              2,
              {},
              {"You're in several companies; choose one with --company NAME|ID:", "Acme", "Beta"}},
    FilaOrden{"EmpresaAjena",
              {"ls", "--company", "Gamma"},
              2,
              {},
              {"You're not in a company called “Gamma”."}},
    FilaOrden{"MkdirRepetida",
              {"mkdir", "--company", "Acme", "/Fotos"},
              1,
              {},
              {"There's already something with that name here."}},
    FilaOrden{"MkdirSinPadre",
              {"mkdir", "--company", "Acme", "/X/Y"},
              1,
              {},
              {"To make the missing folders too: vemlo-cli mkdir -p /X/Y"}},
    FilaOrden{"MkdirSinPermiso",
              {"mkdir", "--company", "Beta", "/Nueva"},
              1,
              {},
              {"You don't have permission to do that here."}},
    FilaOrden{"RenameConBarra",
              {"rename", "--company", "Acme", "/Fotos", "a/b"},
              2,
              {},
              {"A name can't contain \"/\""}},
    FilaOrden{"RestoreQueNoEsta",
              {"restore", "--company", "Acme", "nada"},
              1,
              {},
              {"There's nothing called “nada” in the trash."}},
    FilaOrden{"OrdenDesconocida", {"borrar", "/Fotos"}, 2, {}, {"wrong usage:"}},
    FilaOrden{"SinOrden", {}, 2, {}, {"wrong usage:"}},
    FilaOrden{"FaltaLaRuta", {"mkdir", "--company", "Acme"}, 2, {}, {"wrong usage:"}},
    FilaOrden{"OpcionDesconocida", {"ls", "--todo"}, 2, {}, {"wrong usage:"}},
    FilaOrden{"Version", {"--version"}, 0, {"vemlo-cli 0."}, {}},
    FilaOrden{
        "Ayuda", {"ls", "--help"}, 0, {"Usage:", "--company NAME|ID", "--json", "-l,--long"}, {}},
    FilaOrden{"AyudaDeSubir",
              {"upload", "--help"},
              0,
              {"Usage: vemlo-cli upload [OPTIONS] LOCAL... DEST\n",
               "\n  LOCAL... DEST                   Local files"},
              {}},
    FilaOrden{"AyudaDeBajar",
              {"download", "--help"},
              0,
              {"Usage: vemlo-cli download [OPTIONS] PATH [LOCAL]\n",
               "\n  PATH [LOCAL]                    The company"},
              {}},
    FilaOrden{"ArgumentoDeMas",
              {"whoami", "--company", "X"},
              2,
              {},
              {"wrong usage: whoami does not take: --company X\n"}},
    FilaOrden{"EnEspanolNoEsta",
              {"ls", "--company", "Acme", "/nada"},
              1,
              {},
              {"No hay nada llamado «nada» en «/»."},
              "es"},
    FilaOrden{"EnEspanolEmpresas",
              {"ls"},
              2,
              {},
              {"Estás en varias empresas; elige una con --company NOMBRE|ID:", "lector"},
              "es"},
    FilaOrden{"EnEspanolPermiso",
              {"mkdir", "--company", "Beta", "/Nueva"},
              1,
              {},
              {"No tienes permiso para hacer eso aquí."},
              "es"},
    FilaOrden{"EnEspanolWhoami", {"whoami"}, 0, {"EMPRESA", "ROL", "Beta     lector"}, {}, "es"},
    FilaOrden{"EnEspanolAyuda", {"--help"}, 0, {"Uso:", "Órdenes", "Subir archivos"}, {}, "es"},
    FilaOrden{"EnEspanolUso", {"mkdir", "--company", "Acme"}, 2, {}, {"uso incorrecto:"}, "es"}};

TEST_F(Ordenes, ImprimenYTerminanComoDeben) {
  std::vector<FilaOrden> enIngles;
  std::ranges::copy_if(filas, std::back_inserter(enIngles),
                       [](const auto& f) { return f.idioma == "en"; });
  probar(enIngles);
}

TEST_F(Ordenes, EnEspanol) {
  std::vector<FilaOrden> enEspanol;
  std::ranges::copy_if(filas, std::back_inserter(enEspanol),
                       [](const auto& f) { return f.idioma == "es"; });
  probar(enEspanol);
}

class Carpetas : public testing::Test, public ConServicio {
 protected:
  Resultado acme(std::vector<std::string> argumentos, const std::string& idioma = "en") {
    argumentos.insert(argumentos.begin() + 1, {"--company", "Acme"});
    return cli(argumentos, idioma);
  }
};

TEST_F(Carpetas, CreaMueveRenombraTiraYRestaura) {
  const auto http = entrarComo(correoDemo);
  const auto raiz = ConServicio::raiz(http, "Acme");

  auto r = acme({"mkdir", "-p", "/Nueva/Sub"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Made the folder “/Nueva/Sub”.\n");
  EXPECT_EQ(acme({"mkdir", "-p", "/Nueva/Sub"}).estado, 0);
  EXPECT_EQ(acme({"mkdir", "/Nueva/Otra"}).estado, 0);

  r = acme({"mv", "/Léeme.txt", "/Nueva"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Moved “/Léeme.txt” into “/Nueva”.\n");
  // Where nothing is to be done, nothing is claimed.
  EXPECT_EQ(acme({"mv", "/Fotos", "/"}).salida, "“/Fotos” is already in “/”.\n");
  EXPECT_EQ(acme({"rename", "/Fotos", "Fotos"}).salida, "“/Fotos” is already called “Fotos”.\n");
  r = acme({"rename", "/Nueva/Léeme.txt", "Leeme2.txt"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(nombresDe(carpeta(http, raiz, {"Nueva"})), (V{"Leeme2.txt", "Otra/", "Sub/"}));

  r = acme({"trash", "/Nueva/Leeme2.txt"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Moved “/Nueva/Leeme2.txt” to the trash.\n");
  EXPECT_EQ(nombresDe(carpeta(http, raiz, {"Nueva"})), (V{"Otra/", "Sub/"}));
  r = acme({"trash-list"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_TRUE(contiene(r.salida, "TYPE  NAME")) << r.salida;
  EXPECT_TRUE(contiene(r.salida, "file  Leeme2.txt")) << r.salida;
  r = acme({"trash-list", "--json"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(nlohmann::json::parse(r.salida)[0]["nombre"], "Leeme2.txt");

  r = acme({"restore", "Leeme2.txt"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  EXPECT_EQ(r.salida, "Restored “Leeme2.txt”.\n");
  EXPECT_EQ(nombresDe(carpeta(http, raiz, {"Nueva"})), (V{"Leeme2.txt", "Otra/", "Sub/"}));
  EXPECT_EQ(acme({"trash-list"}).salida, "The trash is empty.\n");
}

TEST_F(Carpetas, EnEspanolConfirmaCadaCambio) {
  entrarComo(correoDemo);
  EXPECT_EQ(acme({"mkdir", "/Nueva"}, "es").salida, "Se creó la carpeta «/Nueva».\n");
  EXPECT_EQ(acme({"mv", "/Léeme.txt", "/Nueva"}, "es").salida,
            "Se movió «/Léeme.txt» a «/Nueva».\n");
  EXPECT_EQ(acme({"trash", "/Nueva"}, "es").salida, "Se movió «/Nueva» a la papelera.\n");
  const auto r = acme({"trash-list"}, "es");
  EXPECT_TRUE(contiene(r.salida, "TIPO     NOMBRE")) << r.salida;
  EXPECT_TRUE(contiene(r.salida, "carpeta  Nueva")) << r.salida;
}

}  // namespace
}  // namespace vemlo::pruebas
