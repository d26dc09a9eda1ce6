// Reading mountinfo and detaching stale mounts.
#include "montajes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// A mountinfo field with the kernel's octal escapes (space, tab, newline, backslash) undone.
std::string sinEscapes(std::string_view campo) {
  std::string texto;
  for (std::size_t i = 0; i < campo.size(); ++i) {
    const bool octal = campo[i] == '\\' && i + 3 < campo.size() &&
                       campo.substr(i + 1, 3).find_first_not_of("01234567") == std::string::npos;
    if (!octal) {
      texto += campo[i];
      continue;
    }
    texto += static_cast<char>(std::stoi(std::string(campo.substr(i + 1, 3)), nullptr, 8));
    i += 3;
  }
  return texto;
}

// True for one line of mountinfo that is a mount of ours at `punto`.
bool esNuestro(const std::string& linea, const std::string& punto, uid_t usuario) {
  std::istringstream campos(linea);
  std::string campo, lugar;
  for (int i = 0; i < 5 && campos >> campo; ++i) lugar = campo;  // the fifth is the point
  while (campos >> campo && campo != "-") {
  }
  std::string tipo, origen, opciones;
  if (!(campos >> tipo >> origen >> opciones)) return false;
  const auto dueno = "user_id=" + std::to_string(usuario);
  return tipo == "fuse.vemlo" && sinEscapes(lugar) == punto &&
         ("," + opciones + ",").find("," + dueno + ",") != std::string::npos;
}

std::size_t montajesAqui(const fs::path& punto) {
  std::ifstream archivo("/proc/self/mountinfo");
  std::stringstream texto;
  texto << archivo.rdbuf();
  return montajesEn(texto.str(), punto, getuid());
}

// fusermount3 -u -z for a user without the right to unmount; its exit status.
int fusermount(const fs::path& punto) {
  posix_spawn_file_actions_t acciones;
  posix_spawn_file_actions_init(&acciones);
  posix_spawn_file_actions_addopen(&acciones, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> argumentos{"fusermount3", "-u", "-z", punto.string()};
  std::vector<char*> argv;
  for (auto& a : argumentos) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t hijo = -1;
  const int fallo = posix_spawnp(&hijo, "fusermount3", &acciones, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&acciones);
  if (fallo != 0) return -1;
  int estado = 0;
  while (waitpid(hijo, &estado, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(estado) ? WEXITSTATUS(estado) : -1;
}

}  // namespace

std::size_t montajesEn(std::string_view mountinfo, const fs::path& punto, uid_t usuario) {
  std::size_t cuantos = 0;
  std::istringstream lineas{std::string(mountinfo)};
  for (std::string linea; std::getline(lineas, linea);)
    if (esNuestro(linea, punto.string(), usuario)) ++cuantos;
  return cuantos;
}

bool desprender(const fs::path& punto) {
  return umount2(punto.c_str(), MNT_DETACH) == 0 || fusermount(punto) == 0;
}

void despejarPunto(const fs::path& punto) {
  // Mounts may stand one on top of another (hosts that died in turn): one detach each.
  for (int vuelta = 0; vuelta < 16 && montajesAqui(punto) > 0; ++vuelta) desprender(punto);
  if (montajesAqui(punto) > 0) throw std::runtime_error("stale mount at " + punto.string());
  fs::create_directories(punto);
}

}  // namespace vemlo::finder::host
