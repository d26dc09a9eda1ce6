// The Vemlo folder through vemlo-cli: `folder on` starts a detached vemlo-finder that mounts the
// company, `folder status` shows it, `folder off` takes it away. The test adopts the detached
// host (it is a child subreaper), finds it through the single-instance lock and stops it, so
// that no host outlives the test.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "apoyo.h"
#include "comun.h"
#include "finder/control.h"
#include "vemlo/mensajes.h"

namespace vemlo::pruebas {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// vemlo-finder's single-instance lock, in its runtime folder.
fs::path cerrojo() {
  return fs::weakly_canonical(finder::carpetaDeEjecucion() / "finder.lock");
}

// The process with the lock open, that is the running host; -1 when there is none.
pid_t duenoDelCerrojo() {
  const auto buscado = cerrojo();
  std::error_code error;
  for (fs::directory_iterator proceso("/proc", error), fin; !error && proceso != fin;
       proceso.increment(error)) {
    const auto nombre = proceso->path().filename().string();
    if (nombre.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ignorado;  // processes come and go while we look
    for (fs::directory_iterator fd(proceso->path() / "fd", ignorado); !ignorado && fd != fin;
         fd.increment(ignorado))
      if (fs::read_symlink(fd->path(), ignorado) == buscado) return std::stoi(nombre);
  }
  return -1;
}

// Waits for the end of `pid`, a child of this subreaper; its exit status, or -1 when it did
// not end within `plazo`.
int esperarFin(pid_t pid, std::chrono::milliseconds plazo) {
  int estado = -1;
  const bool termino = esperar(
      [&] {
        int crudo = 0;
        const auto r = waitpid(pid, &crudo, WNOHANG);
        if (r == pid) estado = WIFEXITED(crudo) ? WEXITSTATUS(crudo) : 128 + WTERMSIG(crudo);
        return r == pid || (r < 0 && kill(pid, 0) != 0);  // not ours to wait for: gone is enough
      },
      plazo);
  return termino ? estado : -1;
}

std::string idEmpresa(const ClienteHttp& cliente, const std::string& nombre) {
  for (const auto& empresa : cliente.leer<Cuenta>("/v1/yo").organizaciones)
    if (empresa.nombre == nombre) return empresa.id;
  throw std::runtime_error("sin empresa " + nombre);
}

class CarpetaVemlo : public testing::Test, public ConServicio {
 protected:
  void SetUp() override {
    if (access("/dev/fuse", R_OK | W_OK) != 0)
      GTEST_SKIP() << "/dev/fuse is missing here: the Vemlo folder cannot be mounted";
    // The host is orphaned on purpose; this process adopts it, so that it can be waited for.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
  }

  void TearDown() override {
    if (!IsSkipped()) detenerHost();
  }

  // SIGTERM to the running host, then its exit status (-1 when there was none). One that does
  // not stop within 15 s is killed, and the mount it leaves behind detached.
  int detenerHost() {
    const auto pid = duenoDelCerrojo();
    if (pid < 0) return -1;
    kill(pid, SIGTERM);
    if (const int estado = esperarFin(pid, 15s); estado >= 0) return estado;
    kill(pid, SIGKILL);
    esperarFin(pid, 15s);
    const auto punto = fs::path(std::getenv("HOME")) / "Vemlo-Acme";
    if (montado(punto)) std::system(("fusermount3 -u -z '" + punto.string() + "'").c_str());
    return 128 + SIGKILL;
  }
};

TEST_F(CarpetaVemlo, EncenderVerYApagar) {
  auto r = cli({"folder", "on"});
  EXPECT_EQ(r.estado, 1) << r.resumen();
  EXPECT_TRUE(contiene(r.errores, "You're not signed in.")) << r.resumen();
  r = cli({"folder", "status"});
  EXPECT_EQ(r.salida,
            "No company has a Vemlo folder yet. Switch one on with: vemlo-cli folder on\n")
      << r.resumen();

  const auto demo = entrarComo(correoDemo);
  r = cli({"folder", "on", "--company", "Acme"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  const std::string frase = "The Vemlo folder of Acme is at ";
  ASSERT_TRUE(r.salida.starts_with(frase) && r.salida.ends_with("\n")) << r.resumen();
  const fs::path punto = r.salida.substr(frase.size(), r.salida.size() - frase.size() - 1);
  EXPECT_EQ(punto, fs::path(std::getenv("HOME")) / "Vemlo-Acme");
  EXPECT_TRUE(montado(punto));
  EXPECT_TRUE(contiene(sh("ls", punto).texto, "Fotos\n")) << sh("ls", punto).texto;

  // Already there: the same answer at once.
  r = cli({"folder", "on", "--company", "acme"}, "es");
  EXPECT_EQ(r.salida, "La carpeta Vemlo de Acme está en " + punto.string() + "\n") << r.resumen();

  r = cli({"folder", "status"});
  EXPECT_TRUE(contiene(r.salida,
                       "Acme     " + punto.string() + "  0        0 B of 8.6 GB  0 B   mounted\n"))
      << r.resumen();
  r = cli({"folder", "status", "--json"});
  ASSERT_EQ(r.estado, 0) << r.resumen();
  const auto estado = nlohmann::json::parse(r.salida)["dominios"];
  ASSERT_EQ(estado.size(), 1u) << r.salida;
  EXPECT_EQ(estado[0]["displayName"], "Acme");
  EXPECT_EQ(estado[0]["montado"], true);
  EXPECT_EQ(estado[0]["puntoDeMontaje"], punto.string());
  EXPECT_TRUE(estado[0]["pendientes"].is_array());

  // An upload the service refuses for good is shown with its reason.
  ajustarEmpresa(servicio.base(), {{"organizacionId", idEmpresa(demo, "Acme")}, {"tope", true}});
  std::ofstream(punto / "tope.txt") << "uno";
  const auto detenida =
      "tope.txt: " + mensaje("tope", false) + " (not retried until it is saved again)\n";
  EXPECT_TRUE(esperar(
      [&] {
        return contiene(cli({"folder", "status"}).salida, detenida);
      },
      20s))
      << cli({"folder", "status"}).resumen();
  // In the person's language on screen, as a code for scripts.
  EXPECT_TRUE(
      contiene(cli({"folder", "status"}, "es").salida, "tope.txt: " + mensaje("tope", true)));
  const auto json = nlohmann::json::parse(cli({"folder", "status", "--json"}).salida);
  EXPECT_EQ(json["dominios"][0]["pendientes"][0]["ultimoFallo"], "tope") << json;
  ajustarEmpresa(servicio.base(), {{"organizacionId", idEmpresa(demo, "Acme")}, {"tope", false}});

  r = cli({"folder", "off", "--company", "Acme"});
  EXPECT_EQ(r.salida, "The Vemlo folder of Acme is off.\n") << r.resumen();
  EXPECT_TRUE(esperar([&] { return !montado(punto); }, 10s));
  r = cli({"folder", "status"});
  EXPECT_TRUE(contiene(r.salida, "  off\n")) << r.resumen();

  EXPECT_EQ(detenerHost(), 0);
  EXPECT_EQ(duenoDelCerrojo(), -1);
  // Without a host, the registry alone.
  r = cli({"folder", "status"}, "es");
  EXPECT_TRUE(contiene(
      r.salida, "Acme     " + punto.string() + "  -           -         -          apagada\n"))
      << r.resumen();
}

std::string atributo(const fs::path& ruta, const char* nombre) {
  char valor[64];
  const auto n = getxattr(ruta.c_str(), nombre, valor, sizeof valor);
  return n < 0 ? "errno " + std::to_string(errno) : std::string(valor, static_cast<std::size_t>(n));
}

TEST_F(CarpetaVemlo, MantenerEnEsteEquipoYElLimite) {
  entrarComo(correoDemo);
  ASSERT_EQ(cli({"folder", "on", "--company", "Acme"}).estado, 0);
  const auto fotos = fs::path(std::getenv("HOME")) / "Vemlo-Acme" / "Fotos";
  auto r = cli({"folder", "pin", fotos.string()});
  EXPECT_EQ(r.salida, fotos.string() + " is kept on this device.\n") << r.resumen();
  EXPECT_EQ(atributo(fotos, "user.vemlo.fijado"), "1");
  EXPECT_TRUE(
      esperar([&] { return atributo(fotos / "playa.jpg", "user.vemlo.estado") == "fijado"; }));
  EXPECT_TRUE(esperar([&] {
    const auto e = nlohmann::json::parse(cli({"folder", "status", "--json"}).salida);
    return e["dominios"][0]["cache"]["fijados"]["archivos"] == 2;
  }));
  r = cli({"folder", "status"});
  EXPECT_TRUE(contiene(r.salida, "KEPT")) << r.resumen();

  r = cli({"folder", "unpin", fotos.string()}, "es");
  EXPECT_EQ(r.salida, fotos.string() + " ya no se mantiene en este equipo.\n") << r.resumen();
  EXPECT_EQ(atributo(fotos, "user.vemlo.fijado"), "errno " + std::to_string(ENODATA));
  r = cli({"folder", "pin", std::getenv("HOME")});
  EXPECT_EQ(r.estado, 1) << r.resumen();
  EXPECT_TRUE(contiene(r.errores, "is not inside a Vemlo folder.")) << r.resumen();
  r = cli({"folder", "pin", (fotos / "nada").string()});
  EXPECT_TRUE(contiene(r.errores, "was not found.")) << r.resumen();

  r = cli({"folder", "cache-limit", "2GB"});
  EXPECT_EQ(r.estado, 0) << r.resumen();
  const auto e = nlohmann::json::parse(cli({"folder", "status", "--json"}).salida);
  EXPECT_EQ(e["dominios"][0]["cache"]["limite"], 2'000'000'000u) << e;
  EXPECT_EQ(cli({"folder", "cache-limit", "mucho"}).estado, 2);
}

}  // namespace
}  // namespace vemlo::pruebas
