// The Vemlo folder under pressure: files reopened, truncated and saved again while their
// uploads finish, a file read after it was deleted, names and calls that cannot be kept,
// company names and identifiers that must not escape, names the service already uses,
// refusals that no retry mends, and seeded random operation sequences checked against the
// service.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <thread>

#include "carpeta.h"
#include "montajes.h"
#include "tortura.h"
#include "vemlo/mensajes.h"
#include "vemlo/xdg.h"

namespace vemlo::finder::host::pruebas {
namespace {

namespace fs = std::filesystem;

// Upload requests wait this long before the service answers them, so that writes, truncates
// and reopens land while their file is on its way.
void subidasLentas(const ServicioEnMarcha& servicio, int demoraMs, int veces) {
  ponerFallos(servicio.base(),
              {{{"ruta", "^/(v1/subidas|directo)"}, {"demoraMs", demoraMs}, {"veces", veces}}});
}

TEST_F(Carpeta, ReabrirMientrasSubeNoPierdeNiMezclaNada) {
  const auto ruta = punto() / "ciclos.bin";
  std::string esperado;
  std::mt19937 azar(7);
  for (int i = 0; i < 200; ++i) {
    const int fd = ::open(ruta.c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0) << "round " << i << ": " << std::strerror(errno);
    const std::string trozo(500 + i, static_cast<char>('a' + i % 26));
    const auto escritos = pwrite(fd, trozo.data(), trozo.size(), std::ssize(esperado));
    EXPECT_EQ(escritos, std::ssize(trozo)) << "round " << i;
    esperado += trozo;
    struct stat st {};
    EXPECT_EQ(fstat(fd, &st), 0);
    EXPECT_EQ(st.st_size, std::ssize(esperado)) << "round " << i;
    ASSERT_EQ(close(fd), 0) << "round " << i;
    std::this_thread::sleep_for(std::chrono::milliseconds(azar() % 49));
  }
  EXPECT_TRUE(llega("ciclos.bin", esperado));
  EXPECT_TRUE(sinPendientes());
  EXPECT_TRUE(leer(ruta) == esperado);
  EXPECT_TRUE(fs::is_empty(datosDeUsuario() / "vemlo-finder" / empresa("Acme").id / "pendientes" /
                           "copias"));
}

TEST_F(Carpeta, TruncarRecienCreadoLlega) {
  EXPECT_EQ(
      enMontaje("for i in $(seq 20); do : > t$i && truncate -s 100000 t$i || exit 1; done").estado,
      0);
  for (int i = 1; i <= 20; ++i)
    EXPECT_TRUE(llega("t" + std::to_string(i), std::string(100000, '\0'))) << i;
  EXPECT_EQ(enMontaje("stat -c %s t20").texto, "100000\n");
}

TEST_F(Carpeta, GuardarOTruncarMientrasSubeDejaLoUltimo) {
  const auto a = bytesDePrueba(3 << 20, 1), b = bytesDePrueba(3 << 20, 2);
  const auto rutaA = local("a.bin", a), rutaB = local("b.bin", b);
  subidasLentas(*servicio, 600, 4);
  EXPECT_EQ(enMontaje("cp " + rutaA + " f && cp " + rutaB + " f").estado, 0);
  // The first PUT is refused, so the engine sends again after a pause of a second: the file
  // is cut meanwhile.
  quitarFallos(servicio->base());
  ponerFallos(servicio->base(),
              {{{"metodo", "PUT"}, {"ruta", "^/almacen/subir/"}, {"estado", 503}}});
  EXPECT_EQ(enMontaje("cp " + rutaA + " g && sleep 0.5 && truncate -s 1000 g").estado, 0);
  EXPECT_TRUE(llega("f", b));
  EXPECT_TRUE(llega("g", a.substr(0, 1000)));
  EXPECT_TRUE(sinPendientes()) << pedir("--estado");
  EXPECT_TRUE(leer(punto() / "f") == b);
}

TEST_F(Carpeta, UnArchivoBorradoSeLeeMientrasSigaAbierto) {
  const auto nuevo = punto() / "efimero.txt";
  const int fd = ::open(nuevo.c_str(), O_RDWR | O_CREAT | O_EXCL, 0644);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  ASSERT_EQ(write(fd, "trece bytes!!", 13), 13);
  ASSERT_EQ(unlink(nuevo.c_str()), 0);
  char leido[32];
  EXPECT_EQ(pread(fd, leido, sizeof leido, 0), 13);
  EXPECT_EQ(std::string(leido, 13), "trece bytes!!");
  close(fd);
  const auto leeme = punto() / "Léeme.txt";
  const int otro = ::open(leeme.c_str(), O_RDONLY);
  ASSERT_GE(otro, 0);
  ASSERT_EQ(unlink(leeme.c_str()), 0);
  EXPECT_GT(pread(otro, leido, sizeof leido, 0), 0);
  close(otro);
  EXPECT_TRUE(sinPendientes());
  EXPECT_FALSE(enServicio("efimero.txt"));
  EXPECT_TRUE(fs::is_empty(datosDeUsuario() / "vemlo-finder" / empresa("Acme").id / "pendientes" /
                           "copias"));
}

TEST_F(Carpeta, LoQueNoSePuedeGuardarSeRechazaConSuError) {
  const std::string largo(256, 'n');
  struct Fila {
    std::string orden, error;
  };
  const std::vector<Fila> filas{
      {"touch " + largo, "File name too long"},
      {"mkdir " + largo, "File name too long"},
      {"mv Léeme.txt " + largo, "File name too long"},
      {"stat " + largo, "File name too long"},
      {"ln -s Léeme.txt enlace", "Operation not supported"},
      {"ln Léeme.txt duro", "Operation not supported"},
      {"mkfifo tubo", "Operation not supported"},
      {"chmod 600 Léeme.txt", "Operation not permitted"},
      {"chown 12345 Léeme.txt", "Operation not permitted"},
      {"chmod 644 Léeme.txt && touch Léeme.txt && touch -d 2020-01-01 Léeme.txt", ""},
      {"touch " + std::string(255, 'n') + " && rm " + std::string(255, 'n'), ""},
  };
  for (const auto& [orden, error] : filas) {
    const auto r = enMontaje(orden);
    EXPECT_EQ(r.estado != 0, !error.empty()) << orden.substr(0, 40) << ": " << r.texto;
    EXPECT_NE(r.texto.find(error), std::string::npos) << r.texto;
  }
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\nInformes\nLéeme.txt\nProyectos\n");
  EXPECT_TRUE(sinPendientes());
}

// A name that would run commands if it reached a shell: the folder mounts, survives a kill -9
// of its host (the dead mount is cleared, not stacked on), and nothing runs.
TEST_F(ConCarpeta, UnNombreDeEmpresaNoEjecutaNada) {
  const auto casa = fs::path(std::getenv("HOME"));
  const auto nombre = "Acme'; touch " + (casa / "uno").string() + "; echo '$(touch " +
                      (casa / "dos").string() + ")\n`touch " + (casa / "tres").string() + "`";
  ajustarEmpresa(servicio->base(), {{"organizacionId", empresa("Acme").id}, {"nombre", nombre}});
  addDomain({empresa("Acme").id, nombre, true});
  const auto raiz = puntoDeMontaje({empresa("Acme").id, nombre, true});
  arrancarHost();
  EXPECT_EQ(sh("ls", raiz).texto, "Fotos\nInformes\nLéeme.txt\nProyectos\n");
  matarHost();
  arrancarHost();
  EXPECT_EQ(montajesEn(leer("/proc/self/mountinfo"), raiz, getuid()), 1u);
  EXPECT_EQ(sh("ls", raiz).texto, "Fotos\nInformes\nLéeme.txt\nProyectos\n");
  detenerHost();
  for (const char* hecho : {"uno", "dos", "tres"}) EXPECT_FALSE(fs::exists(casa / hecho)) << hecho;
}

// Started by systemd and by the app at the same moment: one host serves, the other says so
// and ends at once, without touching the mount.
TEST_F(ConCarpeta, DosHostsALaVezUnoSirve) {
  registrar("Acme");
  const auto casa = fs::path(std::getenv("HOME"));
  std::vector<pid_t> hosts;
  for (const char* errores : {"errores-1", "errores-2"}) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open((casa / errores).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(fd, 2);
      execl(VEMLO_FINDER_BINARIO, "vemlo-finder", nullptr);
      _exit(127);
    }
    hosts.push_back(pid);
  }
  int fin = 0;
  std::size_t acabo = hosts.size();
  ASSERT_TRUE(esperar(
      [&] {
        for (std::size_t i = 0; i < hosts.size(); ++i)
          if (waitpid(hosts[i], &fin, WNOHANG) == hosts[i]) acabo = i;
        return acabo < hosts.size();
      },
      10s));
  host = hosts[1 - acabo];
  EXPECT_TRUE(WIFEXITED(fin) && WEXITSTATUS(fin) == 0) << fin;
  EXPECT_EQ(leer(casa / ("errores-" + std::to_string(acabo + 1))),
            "vemlo-finder is already running\n");
  ASSERT_TRUE(esperar([&] {
    const auto e = estado();
    return e.is_object() && e.at("dominios").size() == 1 && e.at("dominios")[0].at("montado");
  })) << pedir("--estado");
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\nInformes\nLéeme.txt\nProyectos\n");
}

TEST_F(Carpeta, UnIdentificadorQueNoEsNombreNoSeMonta) {
  const auto afuera = fs::path(std::getenv("HOME")) / "afuera";
  for (const auto& id : {std::string("../../afuera"), afuera.string(), std::string("..")})
    addDomain({id, "Fuera " + std::to_string(id.size()), true});
  ASSERT_TRUE(esperar([&] {
    const auto e = estado();
    return e.is_object() && e.at("dominios").size() == 4 &&
           std::ranges::all_of(e.at("dominios"), [](const auto& d) {
             return d.at("montado") || d.at("motivo").is_string();
           });
  })) << pedir("--estado");
  const auto ahora = estado();
  for (const auto& d : ahora.at("dominios")) {
    if (d.at("identifier") == empresa("Acme").id) continue;
    EXPECT_EQ(d.at("motivo"), "montaje") << d;
    EXPECT_NE(d.at("detalle").get<std::string>().find("identifier"), std::string::npos) << d;
  }
  // What each identifier would have made of the cache's and the store's folders.
  for (const auto& raiz : {cacheDeUsuario(), datosDeUsuario(), fs::path(std::getenv("HOME"))})
    EXPECT_FALSE(fs::exists(raiz / "afuera")) << raiz;
  EXPECT_FALSE(fs::exists(cacheDeUsuario() / "contenido"));
  EXPECT_FALSE(fs::exists(datosDeUsuario() / "pendientes"));
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\nInformes\nLéeme.txt\nProyectos\n");
}

// The service got a folder of that name meanwhile: the file keeps its bytes under a conflict
// name, here and there, and the folder stays.
TEST_F(Carpeta, UnNombreOcupadoGuardaAmbos) {
  EXPECT_EQ(enMontaje("ls").texto, "Fotos\nInformes\nLéeme.txt\nProyectos\n");
  const auto raiz = empresa("Acme").carpetaRaizId;
  ClienteHttp::exigir(demo->post("/v1/carpetas", {{"padreId", raiz}, {"nombre", "Ocupada"}}),
                      "carpeta");
  EXPECT_EQ(enMontaje("printf mío > Ocupada").estado, 0);
  std::string conflicto;
  ASSERT_TRUE(esperar([&] {
    for (const auto& a : demo->carpeta(raiz).archivos)
      if (a.nombre.starts_with("Ocupada (conflict ")) conflicto = a.nombre;
    return !conflicto.empty();
  }));
  EXPECT_EQ(enServicio(conflicto), "mío");
  EXPECT_NO_THROW(idCarpeta(demo->carpeta(raiz), "Ocupada"));
  EXPECT_TRUE(sinPendientes());
  EXPECT_EQ(leer(punto() / conflicto), "mío");
}

// A refusal that trying again cannot mend stops the entry, with the person's sentence, and
// keeps its bytes; the next write sends them.
TEST_F(Carpeta, UnRechazoFirmeSeDetieneYSeVe) {
  const auto acme = empresa("Acme").id;
  ajustarEmpresa(servicio->base(), {{"organizacionId", acme}, {"tope", true}});
  EXPECT_EQ(enMontaje("printf uno > tope.txt").estado, 0);
  nlohmann::json pendiente;
  ASSERT_TRUE(esperar([&] {
    const auto e = estado();
    if (!e.is_object() || e.at("dominios").at(0).at("pendientes").empty()) return false;
    pendiente = e.at("dominios").at(0).at("pendientes").at(0);
    return pendiente.at("detenida").get<bool>();
  })) << pedir("--estado");
  EXPECT_EQ(pendiente.at("ultimoFallo"), "tope");
  EXPECT_NE(pedir("--estado").find("tope.txt: " + mensaje("tope", false)), std::string::npos);
  borrarRegistro(servicio->base());
  std::this_thread::sleep_for(3s);
  EXPECT_TRUE(registro(servicio->base()).at("pedidos").empty());  // not tried again
  ajustarEmpresa(servicio->base(), {{"organizacionId", acme}, {"tope", false}});
  EXPECT_EQ(enMontaje("printf dos >> tope.txt").estado, 0);
  EXPECT_TRUE(llega("tope.txt", "unodos"));
  EXPECT_TRUE(sinPendientes());
}

// Switched off while an upload is on its way: the folder goes at once, every task ends before
// what it uses, and the file arrives once the folder is back.
TEST_F(Carpeta, ApagarConUnaSubidaEnCaminoNoPierdeNada) {
  subidasLentas(*servicio, 3000, 1);
  EXPECT_EQ(enMontaje("printf 'en camino' > camino.txt && ls Fotos").estado, 0);
  setUserEnabled(empresa("Acme").id, false);
  // Generous waits: switching off and unmounting happen while an upload is held up on purpose,
  // and take far longer under ThreadSanitizer on a loaded machine.
  ASSERT_TRUE(
      esperar([&] { return estado().at("dominios").at(0).at("motivo") == "apagada"; }, 30s));
  EXPECT_TRUE(esperar(
      [&] { return montajesEn(leer("/proc/self/mountinfo"), punto(), getuid()) == 0; }, 30s));
  quitarFallos(servicio->base());
  setUserEnabled(empresa("Acme").id, true);
  EXPECT_TRUE(llega("camino.txt", "en camino"));
  EXPECT_TRUE(sinPendientes());
}

// How the service treats uploads while the sequence runs.
enum class Subidas { normales, lentas, fallidas };

struct FilaTortura {
  std::uint64_t semilla;
  Subidas subidas;
};

class Tortuosa : public Carpeta, public testing::WithParamInterface<FilaTortura> {};

TEST_P(Tortuosa, LoQueQuedaEnLaCarpetaQuedaEnElServicio) {
  const auto [semilla, subidas] = GetParam();
  if (subidas == Subidas::lentas) subidasLentas(*servicio, 150, 1000);
  if (subidas == Subidas::fallidas)
    ponerFallos(servicio->base(),
                {{{"ruta", "^/(v1/subidas$|almacen/subir/)"}, {"estado", 503}, {"veces", 6}}});
  Contenidos quedan;
  ASSERT_NO_THROW(
      quedan = torturar(punto() / "Proyectos", {.semilla = semilla,
                                                .operaciones = 300,
                                                .archivos = 3,
                                                .mayorTamano = 192 * 1024,
                                                .mayorPausa = std::chrono::milliseconds(20)}));
  ASSERT_TRUE(sinPendientes(60s)) << pedir("--estado");
  for (int i = 0; i < 3; ++i) {
    const auto nombre = "t" + std::to_string(i) + ".bin";
    const auto hay = quedan.find(nombre);
    const auto enElServicio = enServicio("Proyectos/" + nombre);
    if (hay == quedan.end()) {
      EXPECT_FALSE(enElServicio) << nombre;
      continue;
    }
    EXPECT_TRUE(enElServicio == hay->second) << nombre << ": seed " << semilla;
    EXPECT_TRUE(leer(punto() / "Proyectos" / nombre) == hay->second) << nombre;
  }
  EXPECT_TRUE(fs::is_empty(datosDeUsuario() / "vemlo-finder" / empresa("Acme").id / "pendientes" /
                           "copias"));
}

INSTANTIATE_TEST_SUITE_P(
    Semillas, Tortuosa,
    testing::Values(FilaTortura{1, Subidas::normales}, FilaTortura{2, Subidas::normales},
                    FilaTortura{6, Subidas::normales}, FilaTortura{3, Subidas::lentas},
                    FilaTortura{4, Subidas::lentas}, FilaTortura{5, Subidas::fallidas},
                    FilaTortura{7, Subidas::fallidas}));

}  // namespace
}  // namespace vemlo::finder::host::pruebas
