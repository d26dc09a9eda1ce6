// The mount tests' service, host process and shell.
#include "carpeta.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "vemlo/sesion.h"

namespace vemlo::finder::host::pruebas {
namespace fs = std::filesystem;

Salida sh(const std::string& orden, const fs::path& carpeta) {
  const auto completa = "cd '" + carpeta.string() + "' && ( " + orden + " ) 2>&1";
  Salida salida;
  FILE* tubo = popen(completa.c_str(), "r");
  if (!tubo) return salida;
  char bloque[4096];
  for (std::size_t n; (n = fread(bloque, 1, sizeof bloque, tubo)) > 0;)
    salida.texto.append(bloque, n);
  const int estado = pclose(tubo);
  salida.estado = WIFEXITED(estado) ? WEXITSTATUS(estado) : -1;
  return salida;
}

bool esperar(const std::function<bool()>& condicion, std::chrono::milliseconds plazo) {
  const auto hasta = std::chrono::steady_clock::now() + plazo;
  while (!condicion()) {
    if (std::chrono::steady_clock::now() > hasta) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

namespace {

bool montado(const fs::path& punto) {
  std::ifstream info("/proc/self/mountinfo");
  std::string linea;
  while (std::getline(info, linea))
    if (linea.find(" " + punto.string() + " ") != std::string::npos &&
        linea.find("fuse.vemlo") != std::string::npos)
      return true;
  return false;
}

}  // namespace

void ConCarpeta::SetUp() {
  if (access("/dev/fuse", R_OK | W_OK) != 0)
    GTEST_SKIP() << "/dev/fuse is missing here: the Vemlo folder cannot be mounted";
  servicio = std::make_unique<ServicioEnMarcha>();
  cuenta = entrar(servicio->base(), correoDemo);
  demo = std::make_unique<ClienteHttp>(servicio->base(), *cuenta.token);
  setenv("VEMLO_SERVICIO", servicio->base().c_str(), 1);
  setenv("VEMLO_CARPETAS", (fs::path(std::getenv("HOME")) / "carpetas").c_str(), 1);
  SesionGuardada::guardar(*cuenta.token);
}

void ConCarpeta::TearDown() {
  if (host > 0) detenerHost();
}

const Organizacion& ConCarpeta::empresa(const std::string& nombre) const {
  for (const auto& o : cuenta.organizaciones)
    if (o.nombre == nombre) return o;
  throw std::runtime_error("no está " + nombre);
}

void ConCarpeta::registrar(const std::string& nombre) {
  addDomain({empresa(nombre).id, nombre, true});
}

fs::path ConCarpeta::punto(const std::string& nombre) const {
  return puntoDeMontaje({empresa(nombre).id, nombre, true});
}

void ConCarpeta::arrancarHost() {
  host = fork();
  if (host == 0) {
    execl(VEMLO_FINDER_BINARIO, "vemlo-finder", nullptr);
    _exit(127);
  }
  for (const auto& d : getDomains())
    ASSERT_TRUE(esperar([&] { return montado(puntoDeMontaje(d)); }, 20s))
        << "not mounted: " << puntoDeMontaje(d);
}

void ConCarpeta::detenerHost() {
  kill(host, SIGTERM);
  int estado = 0;
  waitpid(host, &estado, 0);
  host = -1;
  EXPECT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 0)
      << "vemlo-finder ended with " << estado;
  for (const auto& d : getDomains()) EXPECT_FALSE(montado(puntoDeMontaje(d)));
}

void ConCarpeta::matarHost() {
  kill(host, SIGKILL);
  waitpid(host, nullptr, 0);
  host = -1;
}

std::string ConCarpeta::pedir(const std::string& linea) const {
  return sh(std::string(VEMLO_FINDER_BINARIO) + " " + linea, "/").texto;
}

std::optional<std::string> ConCarpeta::enServicio(const std::string& ruta) const {
  auto carpetaId = empresa("Acme").carpetaRaizId;
  std::stringstream partes(ruta);
  std::string parte;
  std::vector<std::string> pasos;
  while (std::getline(partes, parte, '/')) pasos.push_back(parte);
  for (std::size_t i = 0; i + 1 < pasos.size(); ++i) {
    const auto vista = demo->carpeta(carpetaId);
    const auto c = std::find_if(vista.carpetas.begin(), vista.carpetas.end(),
                                [&](const auto& h) { return h.nombre == pasos[i]; });
    if (c == vista.carpetas.end()) return std::nullopt;
    carpetaId = c->id;
  }
  const auto vista = demo->carpeta(carpetaId);
  for (const auto& a : vista.archivos)
    if (a.nombre == pasos.back()) return descargar(*demo, a.id);
  return std::nullopt;
}

}  // namespace vemlo::finder::host::pruebas
