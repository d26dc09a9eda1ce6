// "Copy 7-day link" as the file managers run it: `vemlo-cli share --copy PATH` on a file of a
// real mount puts a working link on the X clipboard (read back with xclip); paths outside the
// mount, unknown inside it, or not plain get a clear refusal, from vemlo-cli and from the
// host's "item" request itself.
#include <unistd.h>

#include <system_error>

#include "carpeta.h"
#include "finder/control.h"

namespace vemlo::finder::host::pruebas {
namespace {

namespace fs = std::filesystem;

class Compartir : public Carpeta {
 protected:
  void SetUp() override {
    Carpeta::SetUp();
    if (IsSkipped()) return;
    if (std::getenv("DISPLAY") == nullptr || sh("command -v xclip", "/").estado != 0)
      GTEST_SKIP() << "no X display or no xclip: the clipboard cannot be read back";
  }

  // vemlo-cli run in the mount (the path is relative to it; names never enter the command).
  Salida cli(const std::string& argumentos, const std::string& entorno = {}) const {
    return enMontaje(entorno + " " VEMLO_CLI_BINARIO " " + argumentos);
  }

  // The body the service gives for a link of its own, by its path.
  Contestacion abrir(const std::string& enlace) const {
    EXPECT_TRUE(enlace.starts_with(servicio->base() + "/s/")) << enlace;
    return ClienteHttp(servicio->base()).get(enlace.substr(servicio->base().size()));
  }
};

std::string primeraLinea(const std::string& texto) {
  return texto.substr(0, texto.find('\n'));
}

TEST_F(Compartir, CopiaUnEnlaceQueSirveElArchivo) {
  const auto r = cli("share --copy Informes/2026/q1.pdf 2>/dev/null");
  ASSERT_EQ(r.estado, 0) << r.texto;
  const auto enlace = primeraLinea(r.texto);
  const auto portapapeles = sh("xclip -o -selection clipboard", "/");
  ASSERT_EQ(portapapeles.estado, 0);
  EXPECT_EQ(portapapeles.texto, enlace);
  const auto bajada = abrir(enlace);
  EXPECT_EQ(bajada.estado, 200);
  EXPECT_EQ(bajada.cuerpo, enServicio("Informes/2026/q1.pdf"));
}

TEST_F(Compartir, UnaCarpetaTambienYSuPaginaLaLista) {
  const auto r = cli("share --copy Informes/ 2>/dev/null");
  ASSERT_EQ(r.estado, 0) << r.texto;
  EXPECT_EQ(sh("xclip -o -selection clipboard", "/").texto, primeraLinea(r.texto));
  EXPECT_NE(abrir(primeraLinea(r.texto)).cuerpo.find("2026/"), std::string::npos);
}

struct FilaRechazo {
  std::string argumentos;
  int estado;
  std::string frase;
};

class Rechazo : public Compartir, public testing::WithParamInterface<FilaRechazo> {};

TEST_P(Rechazo, DiceClaramentePorQue) {
  const auto r = cli(GetParam().argumentos, "LANGUAGE=en");
  EXPECT_EQ(r.estado, GetParam().estado) << r.texto;
  EXPECT_NE(r.texto.find(GetParam().frase), std::string::npos) << r.texto;
  EXPECT_EQ(r.texto.find("http"), std::string::npos) << r.texto;
}

INSTANTIATE_TEST_SUITE_P(
    Rutas, Rechazo,
    testing::Values(FilaRechazo{"share --copy \"$HOME\"", 2, "isn't inside a Vemlo folder"},
                    FilaRechazo{"share --copy /tmp", 2, "isn't inside a Vemlo folder"},
                    FilaRechazo{"share --copy no-existe.txt", 2, "no such file or folder"},
                    FilaRechazo{"share --copy .", 2, "root folder can't be shared"},
                    FilaRechazo{"share --copy ../Vemlo-Acme/", 2, "root folder can't be shared"}));

TEST_F(Compartir, SinPortapapelesLoDiceYDaElEnlaceIgual) {
  const auto r = cli("share --copy Léeme.txt", "env -u DISPLAY -u WAYLAND_DISPLAY LANGUAGE=en");
  EXPECT_EQ(r.estado, 1) << r.texto;
  EXPECT_NE(r.texto.find("The link couldn't be copied"), std::string::npos) << r.texto;
  EXPECT_TRUE(r.texto.starts_with(servicio->base() + "/s/")) << r.texto;
}

TEST_F(Compartir, ElAnfitrionSoloUbicaRutasLlanasDeSusCarpetas) {
  const auto raiz = fs::canonical(punto()).string();
  ASSERT_TRUE(fs::exists(raiz + "/Léeme.txt"));  // the kernel looks it up: the table knows it
  const auto item = itemEn(raiz + "/Léeme.txt");
  EXPECT_EQ(item.identifier, empresa("Acme").id);
  EXPECT_FALSE(item.carpeta);
  EXPECT_TRUE(item.padre.empty());
  EXPECT_TRUE(itemEn(raiz).raiz);
  const auto codigo = [&](const std::string& ruta) {
    try {
      itemEn(ruta);
      return std::string("ok");
    } catch (const RechazoDelAnfitrion& e) {
      return e.codigo;
    }
  };
  EXPECT_EQ(codigo(raiz + "/no-existe.txt"), "sinElemento");
  EXPECT_EQ(codigo(raiz + "/Informes/../Léeme.txt"), "fueraDeCarpeta");
  EXPECT_EQ(codigo(raiz + "/../Vemlo-Acme/Léeme.txt"), "fueraDeCarpeta");
  EXPECT_EQ(codigo(std::getenv("HOME")), "fueraDeCarpeta");
  EXPECT_EQ(codigo(raiz + "/Léeme.txt\nestado"), "fueraDeCarpeta");
  // A path past the wire's limit gets no answer (the host closes, maybe with the request still
  // unread) rather than the answer for its first part.
  const auto sinRespuesta = [](const std::string& linea) {
    try {
      return pedirAlAnfitrion(linea).empty();
    } catch (const std::system_error&) {
      return true;
    }
  };
  EXPECT_TRUE(sinRespuesta("item " + raiz + "/" + std::string(9000, 'a')));
}

}  // namespace
}  // namespace vemlo::finder::host::pruebas
