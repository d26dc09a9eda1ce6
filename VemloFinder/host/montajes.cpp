// Reading mountinfo, detaching stale mounts, and the mount's read-ahead.
#include "montajes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <optional>
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

// The fields of one mountinfo line that matter here; none for a line of another shape.
struct Montaje {
  std::string dispositivo;  // "major:minor"
  std::string lugar;        // unescaped
  std::string tipo;
  std::string opciones;
};

std::optional<Montaje> leerMontaje(const std::string& linea) {
  std::istringstream campos(linea);
  std::string campo;
  std::vector<std::string> primeros;
  for (int i = 0; i < 5 && campos >> campo; ++i) primeros.push_back(campo);
  while (campos >> campo && campo != "-") {
  }
  Montaje m;
  if (primeros.size() < 5 || !(campos >> m.tipo >> campo >> m.opciones)) return std::nullopt;
  m.dispositivo = primeros[2];
  m.lugar = sinEscapes(primeros[4]);
  return m;
}

// True for a mount of ours at `punto`.
bool esNuestro(const Montaje& m, const std::string& punto, uid_t usuario) {
  const auto dueno = "user_id=" + std::to_string(usuario);
  return m.tipo == "fuse.vemlo" && m.lugar == punto &&
         ("," + m.opciones + ",").find("," + dueno + ",") != std::string::npos;
}

// Our mounts at `punto`, bottom first.
std::vector<Montaje> nuestros(std::string_view mountinfo, const fs::path& punto, uid_t usuario) {
  std::vector<Montaje> encontrados;
  std::istringstream lineas{std::string(mountinfo)};
  for (std::string linea; std::getline(lineas, linea);) {
    auto m = leerMontaje(linea);
    if (m && esNuestro(*m, punto.string(), usuario)) encontrados.push_back(std::move(*m));
  }
  return encontrados;
}

std::string mountinfo() {
  std::ifstream archivo("/proc/self/mountinfo");
  std::stringstream texto;
  texto << archivo.rdbuf();
  return texto.str();
}

std::size_t montajesAqui(const fs::path& punto) {
  return montajesEn(mountinfo(), punto, getuid());
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
  return nuestros(mountinfo, punto, usuario).size();
}

std::optional<std::string> dispositivoDe(std::string_view mountinfo, const fs::path& punto,
                                         uid_t usuario) {
  auto encontrados = nuestros(mountinfo, punto, usuario);
  if (encontrados.empty()) return std::nullopt;
  return encontrados.back().dispositivo;
}

bool ampliarLecturaAnticipada(const fs::path& punto, unsigned kib) {
  const auto dispositivo = dispositivoDe(mountinfo(), punto, getuid());
  if (!dispositivo || dispositivo->find_first_not_of("0123456789:") != std::string::npos)
    return false;
  std::ofstream ajuste("/sys/class/bdi/" + *dispositivo + "/read_ahead_kb");
  ajuste << kib;
  ajuste.flush();
  return static_cast<bool>(ajuste);
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
