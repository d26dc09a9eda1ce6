// The Vemlo folder as people use it: standard tools on a real FUSE mount served by
// vemlo-finder, checked against the reference service.
#include <sys/xattr.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "carpeta.h"
#include "montajes.h"
#include "vemlo/mensajes.h"
#include "vemlo/sesion.h"

namespace vemlo::finder::host::pruebas {
namespace {

namespace fs = std::filesystem;

TEST_F(Carpeta, ListarYLeer) {
  const auto ls = enMontaje("ls -l");
  EXPECT_EQ(ls.estado, 0) << ls.texto;
  for (const char* nombre : {"Fotos", "Informes", "Proyectos", "Léeme.txt"})
    EXPECT_NE(ls.texto.find(nombre), std::string::npos) << ls.texto;
  EXPECT_EQ(enMontaje("find . | sort").texto,
            ".\n./Fotos\n./Fotos/montaña.png\n./Fotos/playa.jpg\n./Informes\n./Informes/2026\n"
            "./Informes/2026/q1.pdf\n./Léeme.txt\n./Proyectos\n");
  EXPECT_EQ(enMontaje("cat Léeme.txt").texto, *enServicio("Léeme.txt"));
  const auto original = local("playa.jpg", *enServicio("Fotos/playa.jpg"));
  EXPECT_EQ(enMontaje("cmp Fotos/playa.jpg " + original).estado, 0);
  EXPECT_EQ(enMontaje("cmp Fotos/playa.jpg " + original).estado, 0);  // now from the cache
}

// Sequential readers get 1 MiB requests: the mount's read-ahead is raised where the host may.
TEST_F(Carpeta, LaLecturaAnticipadaEsDeUnMega) {
  const auto dispositivo = dispositivoDe(leer("/proc/self/mountinfo"), punto(), getuid());
  ASSERT_TRUE(dispositivo);
  const auto ajuste = "/sys/class/bdi/" + *dispositivo + "/read_ahead_kb";
  if (access(ajuste.c_str(), W_OK) != 0) GTEST_SKIP() << ajuste << " is not ours to change";
  EXPECT_EQ(leer(ajuste), "1024\n");
}

TEST_F(Carpeta, CopiarArchivosYCarpetas) {
  const std::string grande(3 << 20, 'g');
  const auto archivo = local("grande.bin", grande);
  fs::create_directories(fs::path(std::getenv("HOME")) / "viaje/dia1");
  local("viaje/a.txt", "uno");
  local("viaje/dia1/b.txt", "dos");
  EXPECT_EQ(enMontaje("cp " + archivo + " . && cp -r ~/viaje Proyectos/").estado, 0);
  EXPECT_TRUE(llega("grande.bin", grande));
  EXPECT_TRUE(llega("Proyectos/viaje/a.txt", "uno"));
  EXPECT_TRUE(llega("Proyectos/viaje/dia1/b.txt", "dos"));
  EXPECT_EQ(enMontaje("cat Proyectos/viaje/dia1/b.txt").texto, "dos");
}

// Files copied in are not listed again one by one; once the service's listing gives them their
// time, reading them back comes from the cache, not from a download.
TEST_F(Carpeta, CopiarMuchosNoListaPorArchivo) {
  const fs::path casa = std::getenv("HOME");
  fs::create_directories(casa / "muchos");
  for (int i = 0; i < 100; ++i)
    std::ofstream(casa / "muchos" / ("f" + std::to_string(i))) << "bytes de " << i;
  ASSERT_EQ(enMontaje("mkdir Muchos").estado, 0);
  borrarRegistro(servicio->base());
  ASSERT_EQ(enMontaje("cp \"$HOME\"/muchos/* Muchos/").estado, 0);
  ASSERT_TRUE(sinPendientes());
  EXPECT_LE(pedidos(servicio->base(), "GET", "/v1/carpetas/"), 2u);
  EXPECT_EQ(pedidos(servicio->base(), "POST", "/v1/subidas"), 200u);  // start and confirm each
  EXPECT_EQ(pedir("--senal " + empresa("Acme").id), "");
  borrarRegistro(servicio->base());
  EXPECT_EQ(enMontaje("cat Muchos/f7 Muchos/f42").texto, "bytes de 7bytes de 42");
  EXPECT_EQ(pedidos(servicio->base(), "POST", "/v1/descargas"), 0u);
}

// The attribute's value, or the errno that getxattr gave.
std::string atributo(const fs::path& ruta, const char* nombre) {
  char valor[256];
  const auto n = getxattr(ruta.c_str(), nombre, valor, sizeof valor);
  return n < 0 ? "errno " + std::to_string(errno) : std::string(valor, static_cast<std::size_t>(n));
}

TEST_F(Carpeta, LosAtributosDicenQueEsYDondeEsta) {
  const auto leeme = punto() / "Léeme.txt";
  EXPECT_EQ(atributo(leeme, "user.vemlo.estado"), "nube");
  EXPECT_TRUE(atributo(leeme, "user.vemlo.id").starts_with("a:"));
  EXPECT_EQ(enMontaje("cat Léeme.txt >/dev/null").estado, 0);
  // Reads follow the download; the file joins the cache just after its last byte.
  EXPECT_TRUE(esperar([&] { return atributo(leeme, "user.vemlo.estado") == "local"; }));
  char nombres[128];
  const auto largo = listxattr(leeme.c_str(), nombres, sizeof nombres);
  EXPECT_EQ(std::string(nombres, static_cast<std::size_t>(std::max<ssize_t>(largo, 0))),
            std::string("user.vemlo.id\0user.vemlo.estado\0", 32));
  EXPECT_EQ(atributo(punto() / "Fotos", "user.vemlo.estado"), "errno " + std::to_string(ENODATA));
  EXPECT_EQ(atributo(leeme, "user.otro"), "errno " + std::to_string(ENODATA));
  EXPECT_EQ(atributo(leeme, "security.selinux"), "errno " + std::to_string(ENOTSUP));
  // ls -l asks for the context and the ACL once for the folder, not for each of its four
  // entries.
  const auto pedidosDeAtributos = [&] {
    return estado().at("dominios").at(0).at("llamadas").at("getxattr").get<int>();
  };
  const auto antes = pedidosDeAtributos();
  EXPECT_EQ(enMontaje("ls -l >/dev/null").estado, 0);
  EXPECT_LE(pedidosDeAtributos() - antes, 4);
  EXPECT_EQ(setxattr(leeme.c_str(), "user.vemlo.id", "x", 1, 0), -1);
  EXPECT_EQ(errno, EPERM);
  EXPECT_EQ(setxattr(leeme.c_str(), "user.otro", "x", 1, 0), -1);
  EXPECT_EQ(errno, ENOTSUP);

  ASSERT_EQ(servicio->detener(), 0);
  EXPECT_EQ(enMontaje("printf nuevo > nuevo.txt").estado, 0);
  EXPECT_EQ(atributo(punto() / "nuevo.txt", "user.vemlo.estado"), "pendiente");
  EXPECT_EQ(atributo(punto() / "nuevo.txt", "user.vemlo.id"), "errno " + std::to_string(ENODATA));
  servicio->reanudar();
  EXPECT_TRUE(llega("nuevo.txt", "nuevo"));
  EXPECT_TRUE(esperar([&] {
    return atributo(punto() / "nuevo.txt", "user.vemlo.estado") == "local";
  })) << atributo(punto() / "nuevo.txt", "user.vemlo.estado");
}

TEST_F(Carpeta, MoverRenombrarYBorrar) {
  const auto leeme = *enServicio("Léeme.txt");
  EXPECT_EQ(
      enMontaje("mv Léeme.txt Proyectos/ && mv Proyectos/Léeme.txt Proyectos/Leeme.txt").estado, 0);
  EXPECT_EQ(enServicio("Proyectos/Leeme.txt"), leeme);
  EXPECT_FALSE(enServicio("Léeme.txt"));
  const auto lleno = enMontaje("rmdir Informes");
  EXPECT_NE(lleno.estado, 0);
  EXPECT_NE(lleno.texto.find("not empty"), std::string::npos) << lleno.texto;
  EXPECT_EQ(enMontaje("rm Proyectos/Leeme.txt && rmdir Proyectos && rm -r Informes").estado, 0);
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\n");
  const auto papelera = demo->get("/v1/papelera?organizacionId=" + empresa("Acme").id).json();
  std::vector<std::string> tirados;
  for (const auto& e : papelera.at("elementos")) tirados.push_back(e.at("nombre"));
  std::sort(tirados.begin(), tirados.end());
  // rm -r empties a folder before it removes it: each item went to the trash on its own.
  EXPECT_EQ(tirados,
            (std::vector<std::string>{"2026", "Informes", "Leeme.txt", "Proyectos", "q1.pdf"}));
}

TEST_F(Carpeta, GuardarComoUnEditor) {
  const auto antes = demo->carpeta(empresa("Acme").carpetaRaizId);
  const auto guardado = enMontaje(
      "printf 'versión nueva' > .Léeme.txt.swp && mv .Léeme.txt.swp Léeme.txt && cat Léeme.txt");
  EXPECT_EQ(guardado.texto, "versión nueva");
  EXPECT_TRUE(llega("Léeme.txt", "versión nueva"));
  EXPECT_EQ(idArchivo(demo->carpeta(empresa("Acme").carpetaRaizId), "Léeme.txt"),
            idArchivo(antes, "Léeme.txt"));
  EXPECT_TRUE(esperar([&] { return !enServicio(".Léeme.txt.swp"); }));
  EXPECT_EQ(enMontaje("ls -a").texto, ".\n..\nFotos\nInformes\nLéeme.txt\nProyectos\n");
}

TEST_F(Carpeta, UnCambioEnElServicioLlegaConLaSenal) {
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\nInformes\nLéeme.txt\nProyectos\n");
  subir(*demo, empresa("Acme").carpetaRaizId, "nuevo.txt", "del servicio");
  const auto id = idArchivo(demo->carpeta(empresa("Acme").carpetaRaizId), "Léeme.txt");
  ClienteHttp::exigir(demo->patch("/v1/archivos/" + id, {{"nombre", "Leeme.md"}}), "renombrar");
  EXPECT_EQ(pedir("--senal " + empresa("Acme").id), "");
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\nInformes\nLeeme.md\nProyectos\nnuevo.txt\n");
  EXPECT_EQ(enMontaje("cat nuevo.txt").texto, "del servicio");
  // Why a signal failed, as a sentence of the person's language.
  EXPECT_EQ(pedir("--senal otra"), "vemlo-finder: " + mensaje("sinCarpeta", false) + "\n");
  SesionGuardada::borrar();
  EXPECT_EQ(pedir("--senal " + empresa("Acme").id),
            "vemlo-finder: " + mensaje("sinSesion", false) + "\n");
}

TEST_F(Carpeta, ConElServicioCaidoNadaSePierde) {
  const auto leeme = enMontaje("cat Léeme.txt").texto;
  ASSERT_EQ(servicio->detener(), 0);
  EXPECT_EQ(enMontaje("printf 'sin red' > offline.txt").estado, 0);
  EXPECT_EQ(enMontaje("cat Léeme.txt").texto, leeme);
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\nInformes\nLéeme.txt\nProyectos\noffline.txt\n");
  EXPECT_NE(pedir("--estado --json").find("offline.txt"), std::string::npos);
  servicio->reanudar();
  EXPECT_TRUE(llega("offline.txt", "sin red"));
}

// Four copies at once, the host killed half-way: every file whose close returned arrives, and
// every file that arrives is whole.
TEST_F(Carpeta, TrasUnKillNueveTodoLlegaEntero) {
  const fs::path casa = std::getenv("HOME");
  const auto bytes = [](const std::string& nombre) {
    return std::string(4096 + nombre.size() * 7, nombre[0]) + nombre;
  };
  std::vector<std::string> nombres;
  fs::create_directories(casa / "fuente");
  for (const char serie : {'a', 'b', 'c', 'd'})
    for (int i = 0; i < 125; ++i) {
      nombres.push_back(serie + std::to_string(i));
      std::ofstream(casa / "fuente" / nombres.back(), std::ios::binary) << bytes(nombres.back());
    }
  const auto copias =
      "h=\"$HOME\"; : > \"$h/hecho\"; for s in a b c d; do (for i in $(seq 0 124); do "
      "cp \"$h/fuente/$s$i\" . && echo $s$i >> \"$h/hecho\" || exit 0; done) & done; "
      "while [ \"$(wc -l < \"$h/hecho\")\" -lt 150 ]; do sleep 0.01; done; kill -9 " +
      std::to_string(host) + "; wait";
  EXPECT_EQ(enMontaje(copias).estado, 0);
  matarHost();  // leaves a dead mount behind, which the next host clears
  arrancarHost();
  EXPECT_EQ(montajesEn(leer("/proc/self/mountinfo"), punto(), getuid()), 1u);
  ASSERT_TRUE(sinPendientes(120s));
  std::istringstream hechos(leer(casa / "hecho"));
  for (std::string nombre; std::getline(hechos, nombre);)
    EXPECT_EQ(enServicio(nombre), bytes(nombre)) << nombre;
  for (const auto& nombre : nombres) {
    const auto llegado = enServicio(nombre);
    EXPECT_TRUE(!llegado || *llegado == bytes(nombre)) << nombre;
  }
}

class SoloLectura : public ConCarpeta {
 protected:
  void SetUp() override {
    ConCarpeta::SetUp();
    if (IsSkipped()) return;
    registrar("Beta");
    arrancarHost();
  }
};

TEST_F(SoloLectura, NoSeEscribe) {
  const auto raiz = punto("Beta");
  // Before anything walked the tree.
  EXPECT_EQ(sh("stat -c %A .", raiz).texto, "dr-xr-xr-x\n");
  EXPECT_EQ(sh("cat Manuales/notas.txt", raiz).texto, "Notas del equipo de Beta.\n");
  for (const char* orden :
       {"touch x", "mkdir y", "rm Manuales/notas.txt", "echo z >> Manuales/notas.txt"}) {
    const auto r = sh(orden, raiz);
    EXPECT_NE(r.estado, 0) << orden;
    EXPECT_NE(r.texto.find("Permission denied"), std::string::npos) << orden << ": " << r.texto;
  }
  EXPECT_EQ(sh("stat -c %A Manuales Manuales/notas.txt", raiz).texto, "dr-xr-xr-x\n-r--r--r--\n");
}

TEST_F(SoloLectura, ElRegistroManda) {
  registrar("Acme");
  EXPECT_TRUE(
      esperar([&] { return sh("ls", punto("Acme")).texto.find("Fotos") != std::string::npos; }));
  setUserEnabled(empresa("Beta").id, false);
  EXPECT_TRUE(esperar([&] { return pedir("--estado").find("Beta: off") != std::string::npos; }));
  EXPECT_TRUE(esperar([&] { return sh("ls", punto("Beta")).texto.empty(); }));
  removeDomain(empresa("Acme").id);
  EXPECT_TRUE(esperar([&] { return sh("ls", punto("Acme")).texto.empty(); }));
}

}  // namespace
}  // namespace vemlo::finder::host::pruebas
