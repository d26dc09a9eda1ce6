// Finding and starting vemlo-finder. The caller has threads by the time it forks (a Ctrl-C
// watcher, the network), so everything the children need is made before fork and the
// children call only async-signal-safe functions. A close-on-exec pipe brings back the errno
// of a failed fork or exec; it closes without a word once vemlo-finder runs.
#include "finder/arranque.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "vemlo/descriptor.h"

namespace vemlo::finder {
namespace {

namespace fs = std::filesystem;

bool esEjecutable(const fs::path& ruta) {
  std::error_code error;
  return fs::is_regular_file(ruta, error) && access(ruta.c_str(), X_OK) == 0;
}

[[noreturn]] void fallaSistema(int error, const std::string& que) {
  throw std::system_error(error, std::system_category(), que);
}

// In a child: tells the parent why it failed, then ends.
[[noreturn]] void contarYSalir(int aviso, int error) {
  [[maybe_unused]] const auto escrito = write(aviso, &error, sizeof error);
  _exit(127);
}

// The grandchild, the future vemlo-finder: a clean slate of signals, descriptors and folder.
[[noreturn]] void nieto(const char* ruta, char* const argv[], int nulo, int aviso) {
  sigset_t ninguna;
  sigemptyset(&ninguna);
  sigprocmask(SIG_SETMASK, &ninguna, nullptr);  // the caller may block some (vemlo-cli does)
  struct sigaction porDefecto {};
  porDefecto.sa_handler = SIG_DFL;
  for (int senal = 1; senal < NSIG; ++senal) sigaction(senal, &porDefecto, nullptr);
  if (chdir("/") != 0) contarYSalir(aviso, errno);
  for (int fd = 0; fd <= 2; ++fd)
    if (dup2(nulo, fd) < 0) contarYSalir(aviso, errno);
  // Whatever else the caller had open must not stay open in the host; the pipe already closes
  // on exec. Older kernels without the flag keep the descriptors: harmless.
  close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
  execv(ruta, argv);
  contarYSalir(aviso, errno);
}

// The first child: leaves vemlo-cli's session (so no terminal hangup or Ctrl-C reaches the
// host) and forks the grandchild, which, not being a session leader, can never take a
// terminal; then ends at once, and init adopts the grandchild.
[[noreturn]] void hijo(const char* ruta, char* const argv[], int nulo, int aviso) {
  setsid();
  const pid_t pid = fork();
  if (pid < 0) contarYSalir(aviso, errno);
  if (pid == 0) nieto(ruta, argv, nulo, aviso);
  _exit(0);
}

// `nombre` in an absolute folder of PATH (the host runs from "/", so only those name the same
// program there).
std::optional<fs::path> enPath(std::string_view nombre) {
  const char* camino = std::getenv("PATH");
  std::string_view resto = camino ? camino : "";
  while (!resto.empty()) {
    const auto dos = resto.find(':');
    const fs::path carpeta(resto.substr(0, dos));
    resto = dos == std::string_view::npos ? std::string_view() : resto.substr(dos + 1);
    if (carpeta.is_absolute() && esEjecutable(carpeta / nombre)) return carpeta / nombre;
  }
  return std::nullopt;
}

// The child of salidaDe: stdout into the pipe, stdin and stderr on /dev/null.
[[noreturn]] void ejecutarCon(const char* ruta, char* const argv[], int nulo, int escritura) {
  sigset_t ninguna;
  sigemptyset(&ninguna);
  sigprocmask(SIG_SETMASK, &ninguna, nullptr);
  if (dup2(nulo, 0) < 0 || dup2(escritura, 1) < 0 || dup2(nulo, 2) < 0) _exit(127);
  execv(ruta, argv);
  _exit(127);
}

// Runs `programa` with `argumentos` and waits for it; what it printed, when it ended with 0.
std::optional<std::string> salidaDe(const fs::path& programa, std::vector<std::string> argumentos) {
  const std::string ruta = programa.string();
  std::vector<char*> argv{const_cast<char*>(ruta.c_str())};
  for (auto& argumento : argumentos) argv.push_back(argumento.data());
  argv.push_back(nullptr);
  const Descriptor nulo(open("/dev/null", O_RDWR | O_CLOEXEC));
  int tubo[2];
  if (!nulo || pipe2(tubo, O_CLOEXEC) != 0) return std::nullopt;
  const Descriptor lectura(tubo[0]);
  const pid_t pid = fork();
  if (pid == 0) ejecutarCon(ruta.c_str(), argv.data(), nulo.get(), tubo[1]);
  close(tubo[1]);
  if (pid < 0) return std::nullopt;
  std::string salida;
  char bloque[4096];
  ssize_t leidos;
  while ((leidos = read(lectura.get(), bloque, sizeof bloque)) != 0) {
    if (leidos > 0)
      salida.append(bloque, static_cast<std::size_t>(leidos));
    else if (errno != EINTR)
      break;
  }
  int estado = 0;
  while (waitpid(pid, &estado, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(estado) || WEXITSTATUS(estado) != 0) return std::nullopt;
  return salida;
}

constexpr const char* kUnidad = "vemlo-finder.service";

// The program the user's systemd runs for the unit: ExecStart reads
// "{ path=/usr/bin/vemlo-finder ; argv[]=… }". None without a user manager or the unit.
std::optional<fs::path> programaDeLaUnidad(const fs::path& systemctl) {
  const auto salida =
      salidaDe(systemctl, {"--user", "show", "--property=ExecStart", "--value", kUnidad});
  if (!salida) return std::nullopt;
  const auto desde = salida->find("path=");
  if (desde == std::string::npos) return std::nullopt;
  const auto inicio = desde + 5;
  return fs::path(salida->substr(inicio, salida->find_first_of(" ;\n", inicio) - inicio));
}

bool porLaUnidad(const fs::path& programa) {
  if (std::getenv("VEMLO_SERVICIO")) return false;
  const auto systemctl = enPath("systemctl");
  if (!systemctl) return false;
  const auto suyo = programaDeLaUnidad(*systemctl);
  std::error_code error;
  if (!suyo || !fs::equivalent(*suyo, programa, error)) return false;
  return salidaDe(*systemctl, {"--user", "--no-block", "start", kUnidad}).has_value();
}

}  // namespace

std::optional<fs::path> buscarAnfitrion() {
  std::error_code error;
  const auto propio = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    const auto carpeta = propio.parent_path();
    for (const auto& candidato :
         {carpeta / "vemlo-finder", carpeta / ".." / "VemloFinder" / "host" / "vemlo-finder"})
      if (esEjecutable(candidato)) return candidato.lexically_normal();
  }
  return enPath("vemlo-finder");
}

Arranque arrancarAnfitrion(const fs::path& programa) {
  if (porLaUnidad(programa)) return Arranque::unidad;
  arrancarDesligado(programa);
  return Arranque::desligado;
}

void arrancarDesligado(const fs::path& programa) {
  const std::string ruta = programa.string();
  std::string nombre = "vemlo-finder";
  char* const argv[] = {nombre.data(), nullptr};
  const int nulo = open("/dev/null", O_RDWR | O_CLOEXEC);
  if (nulo < 0) fallaSistema(errno, "open /dev/null");
  int aviso[2];
  if (pipe2(aviso, O_CLOEXEC) != 0) {
    const int error = errno;
    close(nulo);
    fallaSistema(error, "pipe2");
  }
  const pid_t pid = fork();
  if (pid == 0) {
    close(aviso[0]);
    hijo(ruta.c_str(), argv, nulo, aviso[1]);
  }
  const int errorDeFork = errno;
  close(aviso[1]);
  close(nulo);
  if (pid < 0) {
    close(aviso[0]);
    fallaSistema(errorDeFork, "fork");
  }
  while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  // Ends once both children either ran vemlo-finder (the pipe closed on exec) or failed.
  int error = 0;
  ssize_t leidos;
  while ((leidos = read(aviso[0], &error, sizeof error)) < 0 && errno == EINTR) {
  }
  close(aviso[0]);
  if (leidos == static_cast<ssize_t>(sizeof error) && error != 0)
    fallaSistema(error, "cannot run " + ruta);
}

}  // namespace vemlo::finder
