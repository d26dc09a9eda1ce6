// The clipboard's takers, tried in order. On X11 the app is asked first because it keeps the
// text for as long as it runs; the programs serve it from a process of their own once they
// read it. Children start through posix_spawnp (vemlo-cli has threads by now) with nothing but the
// text to read and their output thrown away.
#include "portapapeles.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include <nlohmann/json.hpp>

#include "finder/enchufe.h"
#include "vemlo/descriptor.h"

extern char** environ;

namespace vemlo::cli {
namespace {

namespace fs = std::filesystem;

constexpr timeval kEsperaDeLaApp{.tv_sec = 5, .tv_usec = 0};  // an app that hangs is no taker

std::string entorno(const char* nombre) {
  const char* valor = std::getenv(nombre);
  return valor ? valor : "";
}

// The running app takes the text when it answers "ok" to "copiar <the text as JSON>".
bool copiarEnLaApp(std::string_view texto) {
  const auto dir = finder::direccionDe(socketDeLaApp());
  const Descriptor fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!fd || connect(fd.get(), reinterpret_cast<const sockaddr*>(&dir), sizeof dir) != 0)
    return false;
  if (!finder::delMismoUsuario(fd.get())) return false;
  setsockopt(fd.get(), SOL_SOCKET, SO_RCVTIMEO, &kEsperaDeLaApp, sizeof kEsperaDeLaApp);
  const auto peticion = "copiar " + nlohmann::json(std::string(texto)).dump() + "\n";
  if (!finder::enviarTodo(fd.get(), peticion)) return false;
  const auto respuesta = finder::leerLinea(fd.get());
  return respuesta && *respuesta == "ok";
}

// Starts `argv` with `entrada` as its standard input (one end of a socket pair, so that a
// child gone early costs no SIGPIPE) and /dev/null as its output.
std::optional<pid_t> lanzar(const std::vector<std::string>& argv, int entrada) {
  posix_spawn_file_actions_t acciones;
  posix_spawnattr_t atributos;
  posix_spawn_file_actions_init(&acciones);
  posix_spawnattr_init(&atributos);
  if (entrada >= 0)
    posix_spawn_file_actions_adddup2(&acciones, entrada, 0);
  else
    posix_spawn_file_actions_addopen(&acciones, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&acciones, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&acciones, 2, "/dev/null", O_WRONLY, 0);
  sigset_t ninguna;
  sigemptyset(&ninguna);
  posix_spawnattr_setsigmask(&atributos, &ninguna);
  posix_spawnattr_setflags(&atributos, POSIX_SPAWN_SETSIGMASK);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, args[0], &acciones, &atributos, args.data(), environ);
  posix_spawn_file_actions_destroy(&acciones);
  posix_spawnattr_destroy(&atributos);
  if (error != 0) return std::nullopt;
  return pid;
}

// Runs a clipboard program with the text on its input; true when it ended with status 0.
bool copiarCon(const std::vector<std::string>& argv, std::string_view texto) {
  int par[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, par) != 0) return false;
  Descriptor nuestro(par[0]);
  const Descriptor suyo(par[1]);
  const auto pid = lanzar(argv, suyo.get());
  if (!pid) return false;
  finder::enviarTodo(nuestro.get(), texto);
  nuestro = Descriptor();
  int estado = 0;
  while (waitpid(*pid, &estado, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(estado) && WEXITSTATUS(estado) == 0;
}

}  // namespace

fs::path socketDeLaApp() {
  if (const auto ejecucion = entorno("XDG_RUNTIME_DIR"); ejecucion.starts_with('/'))
    return fs::path(ejecucion) / "vemlo" / "app.sock";
  const auto temporal = entorno("TMPDIR");
  const auto* usuario = getpwuid(getuid());
  return fs::path(temporal.starts_with('/') ? temporal : "/tmp") /
         ("runtime-" + std::string(usuario ? usuario->pw_name : std::to_string(getuid()))) /
         "vemlo" / "app.sock";
}

std::optional<std::string> copiarAlPortapapeles(std::string_view texto) {
  // On Wayland a window in the background may not set the clipboard, so wl-copy goes first.
  const bool wayland = !entorno("WAYLAND_DISPLAY").empty();
  if (wayland && copiarCon({"wl-copy"}, texto)) return "wl-copy";
  if (copiarEnLaApp(texto)) return "vemlo";
  if (entorno("DISPLAY").empty()) return std::nullopt;
  for (const auto& argv : std::vector<std::vector<std::string>>{
           {"xclip", "-selection", "clipboard"}, {"xsel", "--clipboard", "--input"}})
    if (copiarCon(argv, texto)) return argv.front();
  return std::nullopt;
}

void notificar(std::string_view titulo, std::string_view cuerpo) {
  if (entorno("DBUS_SESSION_BUS_ADDRESS").empty() && entorno("XDG_RUNTIME_DIR").empty()) return;
  lanzar({"notify-send", "--app-name=Vemlo", "--icon=app.vemlo.Vemlo", std::string(titulo),
          std::string(cuerpo)},
         -1);
}

}  // namespace vemlo::cli
