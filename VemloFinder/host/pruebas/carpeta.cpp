// The mount tests' service, host process and shell.
#include "carpeta.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "montajes.h"
#include "vemlo/sesion.h"

namespace vemlo::finder::host::pruebas {
namespace fs = std::filesystem;

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
  // The host's word, not the mount table: a mount left by a host that died is listed too.
  const auto montados = [&] {
    const auto e = estado();
    if (!e.is_object()) return false;
    for (const auto& d : e.at("dominios"))
      if (d.at("enabled") && !d.at("montado")) return false;
    return true;
  };
  ASSERT_TRUE(esperar(montados, 20s)) << pedir("--estado");
}

void ConCarpeta::detenerHost() {
  kill(host, SIGTERM);
  int estado = 0;
  waitpid(host, &estado, 0);
  host = -1;
  EXPECT_TRUE(WIFEXITED(estado) && WEXITSTATUS(estado) == 0)
      << "vemlo-finder ended with " << estado;
  const auto montajes = leer("/proc/self/mountinfo");
  for (const auto& d : getDomains())
    EXPECT_EQ(montajesEn(montajes, puntoDeMontaje(d), getuid()), 0u) << puntoDeMontaje(d);
}

void ConCarpeta::matarHost() {
  kill(host, SIGKILL);
  waitpid(host, nullptr, 0);
  host = -1;
}

std::string ConCarpeta::pedir(const std::string& linea) const {
  return sh(std::string(VEMLO_FINDER_BINARIO) + " " + linea, "/").texto;
}

nlohmann::json ConCarpeta::estado() const {
  return nlohmann::json::parse(pedir("--estado --json"), nullptr, false);
}

bool ConCarpeta::sinPendientes(std::chrono::milliseconds plazo) const {
  return esperar(
      [&] {
        const auto e = estado();
        if (!e.is_object()) return false;
        for (const auto& d : e.at("dominios"))
          if (!d.at("pendientes").empty()) return false;
        return true;
      },
      plazo);
}

std::string ConCarpeta::local(const std::string& nombre, const std::string& bytes) const {
  const auto ruta = fs::path(std::getenv("HOME")) / nombre;
  std::ofstream(ruta, std::ios::binary) << bytes;
  return ruta.string();
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
  for (const auto& a : vista.archivos) {
    if (a.nombre != pasos.back()) continue;
    try {
      return descargar(*demo, a.id);
    } catch (const std::runtime_error&) {
      return std::nullopt;  // a newer version replaced it meanwhile: ask again
    }
  }
  return std::nullopt;
}

}  // namespace vemlo::finder::host::pruebas
