// Starting, watching and stopping a vemlo-servicio process for a test, and the TOTP codes of
// its MFA account. The test process is multithreaded, so the child is made with posix_spawn.
#include "servicio_en_marcha.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

extern char** environ;

namespace vemlo::pruebas {
namespace {

using Reloj = std::chrono::steady_clock;

std::filesystem::path carpetaTemporal() {
  const char* tmp = std::getenv("TMPDIR");
  std::string plantilla = std::string(tmp && *tmp ? tmp : "/tmp") + "/vemlo-servicio.XXXXXX";
  if (!mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp falló");
  return plantilla;
}

std::vector<std::string> partir(const std::string& texto, char separador) {
  std::vector<std::string> partes;
  std::stringstream flujo(texto);
  for (std::string parte; std::getline(flujo, parte, separador);) partes.push_back(parte);
  return partes;
}

// "cuenta CORREO CLAVE [totp=SECRETO respaldo=a,b,...]"
CuentaImpresa leerCuenta(const std::string& linea) {
  const auto palabras = partir(linea, ' ');
  if (palabras.size() < 3) throw std::runtime_error("línea de cuenta incompleta: " + linea);
  CuentaImpresa cuenta{palabras[1], palabras[2], {}, {}};
  for (std::size_t i = 3; i < palabras.size(); ++i) {
    const auto& palabra = palabras[i];
    if (palabra.starts_with("totp="))
      cuenta.secretoTotp = palabra.substr(5);
    else if (palabra.starts_with("respaldo="))
      cuenta.respaldo = partir(palabra.substr(9), ',');
    else
      throw std::runtime_error("palabra desconocida en la línea de cuenta: " + linea);
  }
  return cuenta;
}

std::vector<unsigned char> base32(const std::string& texto) {
  std::vector<unsigned char> bytes;
  unsigned acumulado = 0;
  int bits = 0;
  for (char c : texto) {
    if (c == '=' || c == ' ') continue;
    const char m = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    int valor = -1;
    if (m >= 'A' && m <= 'Z') valor = m - 'A';
    if (m >= '2' && m <= '7') valor = m - '2' + 26;
    if (valor < 0) throw std::runtime_error("secreto TOTP no es base 32: " + texto);
    acumulado = (acumulado << 5) | static_cast<unsigned>(valor);
    bits += 5;
    if (bits >= 8) {
      bytes.push_back(static_cast<unsigned char>((acumulado >> (bits - 8)) & 0xff));
      bits -= 8;
    }
  }
  return bytes;
}

std::string describirEstado(int estado) {
  if (WIFEXITED(estado)) return "salió con " + std::to_string(WEXITSTATUS(estado));
  if (WIFSIGNALED(estado)) return "murió por la señal " + std::to_string(WTERMSIG(estado));
  return "estado " + std::to_string(estado);
}

}  // namespace

std::string codigoTotp(const std::string& secretoBase32,
                       std::chrono::system_clock::time_point momento) {
  const auto clave = base32(secretoBase32);
  const auto segundos =
      std::chrono::duration_cast<std::chrono::seconds>(momento.time_since_epoch()).count();
  auto paso = static_cast<std::uint64_t>(segundos / 30);
  unsigned char mensaje[8];
  for (int i = 7; i >= 0; --i, paso >>= 8) mensaje[i] = static_cast<unsigned char>(paso & 0xff);
  unsigned char huella[EVP_MAX_MD_SIZE];
  unsigned largo = 0;
  if (!HMAC(EVP_sha1(), clave.data(), static_cast<int>(clave.size()), mensaje, sizeof mensaje,
            huella, &largo))
    throw std::runtime_error("HMAC-SHA1 falló");
  const int desde = huella[largo - 1] & 0x0f;
  const std::uint32_t valor = (static_cast<std::uint32_t>(huella[desde] & 0x7f) << 24) |
                              (static_cast<std::uint32_t>(huella[desde + 1]) << 16) |
                              (static_cast<std::uint32_t>(huella[desde + 2]) << 8) |
                              static_cast<std::uint32_t>(huella[desde + 3]);
  std::string codigo = std::to_string(valor % 1000000);
  return std::string(6 - codigo.size(), '0') + codigo;
}

ServicioEnMarcha::ServicioEnMarcha(std::vector<std::string> banderas, Siembra siembra)
    : banderas_(std::move(banderas)) {
  raiz_ = carpetaTemporal();
  datos_ = raiz_ / "datos";
  errores_ = raiz_ / "servicio.stderr";
  std::filesystem::create_directory(datos_);
  try {
    if (siembra == Siembra::copiada && std::ranges::count(banderas_, "--demo") > 0)
      copiarDemoSembrada();
    arrancar();
  } catch (...) {
    std::error_code ignorado;
    std::filesystem::remove_all(raiz_, ignorado);
    throw;
  }
}

ServicioEnMarcha::~ServicioEnMarcha() {
  if (enMarcha()) {
    const int estado = detener();
    if (estado != 0)
      ADD_FAILURE() << "vemlo-servicio no se detuvo limpio con SIGTERM: " << estado << "\n"
                    << registroDeErrores();
  }
  std::error_code ignorado;
  std::filesystem::remove_all(raiz_, ignorado);
}

// The demo data folder seeded by this very binary, made once (by whichever test gets there
// first; a rename makes it appear whole) and copied into --datos.
void ServicioEnMarcha::copiarDemoSembrada() {
  namespace fs = std::filesystem;
  struct stat binario {};
  if (stat(VEMLO_SERVICIO_BINARIO, &binario) != 0)
    throw std::runtime_error(std::string("no existe ") + VEMLO_SERVICIO_BINARIO);
  const fs::path plantillas = VEMLO_PLANTILLAS;
  const auto sembrada = plantillas / ("demo-" + std::to_string(binario.st_mtim.tv_sec) + "-" +
                                      std::to_string(binario.st_mtim.tv_nsec) + "-" +
                                      std::to_string(binario.st_size));
  if (!fs::exists(sembrada / "datos")) {
    fs::create_directories(plantillas);
    std::string plantilla = (plantillas / "nueva.XXXXXX").string();
    if (!mkdtemp(plantilla.data())) throw std::runtime_error("mkdtemp falló en " + plantilla);
    {
      ServicioEnMarcha semilla({"--demo"}, Siembra::propia);
      if (const int estado = semilla.detener(); estado != 0)
        throw std::runtime_error("la siembra de la demo no terminó limpia: " +
                                 std::to_string(estado) + "\n" + semilla.registroDeErrores());
      fs::copy(semilla.datos(), fs::path(plantilla) / "datos", fs::copy_options::recursive);
    }
    std::error_code ocupado;
    fs::rename(plantilla, sembrada, ocupado);
    if (ocupado) fs::remove_all(plantilla, ocupado);
  }
  fs::copy(sembrada / "datos", datos_,
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

void ServicioEnMarcha::arrancar(const std::string& escuchar) {
  std::vector<std::string> argumentos{VEMLO_SERVICIO_BINARIO, "--datos", datos_.string(),
                                      "--escuchar", escuchar};
  argumentos.insert(argumentos.end(), banderas_.begin(), banderas_.end());
  std::vector<char*> argv;
  for (auto& argumento : argumentos) argv.push_back(argumento.data());
  argv.push_back(nullptr);

  int tubo[2];
  if (pipe2(tubo, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 falló");
  posix_spawn_file_actions_t acciones;
  posix_spawn_file_actions_init(&acciones);
  posix_spawn_file_actions_addopen(&acciones, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&acciones, tubo[1], 1);
  posix_spawn_file_actions_addopen(&acciones, 2, errores_.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0600);
  const int error = posix_spawn(&pid_, argv[0], &acciones, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&acciones);
  close(tubo[1]);
  if (error != 0) {
    close(tubo[0]);
    pid_ = -1;
    throw std::runtime_error(std::string("no se pudo ejecutar ") + VEMLO_SERVICIO_BINARIO + ": " +
                             std::strerror(error));
  }
  salida_ = tubo[0];
  cuentas_.clear();
  pendiente_.clear();
  base_.clear();
  leerArranque(std::chrono::seconds(60));
}

// Reads stdout line by line until "escuchando http://127.0.0.1:PORT".
void ServicioEnMarcha::leerArranque(std::chrono::seconds plazo) {
  const auto hasta = Reloj::now() + plazo;
  while (true) {
    const auto fin = pendiente_.find('\n');
    if (fin != std::string::npos) {
      const std::string linea = pendiente_.substr(0, fin);
      pendiente_.erase(0, fin + 1);
      if (linea.starts_with("cuenta ")) {
        cuentas_.push_back(leerCuenta(linea));
        continue;
      }
      const std::string prefijo = "escuchando http://127.0.0.1:";
      if (!linea.starts_with(prefijo)) fracasar("línea inesperada en stdout: «" + linea + "»");
      base_ = linea.substr(std::string("escuchando ").size());
      puerto_ = std::stoi(linea.substr(prefijo.size()));
      if (puerto_ <= 0 || base_ != "http://127.0.0.1:" + std::to_string(puerto_))
        fracasar("dirección mal formada: «" + linea + "»");
      return;
    }
    const auto resta = std::chrono::duration_cast<std::chrono::milliseconds>(hasta - Reloj::now());
    if (resta.count() <= 0) fracasar("no anunció «escuchando» a tiempo");
    pollfd pfd{salida_, POLLIN, 0};
    const int listo = poll(&pfd, 1, static_cast<int>(resta.count()));
    if (listo < 0 && errno == EINTR) continue;
    if (listo <= 0) continue;
    char bloque[4096];
    const auto n = read(salida_, bloque, sizeof bloque);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) fracasar("cerró stdout (¿murió?) antes de anunciar «escuchando»");
    pendiente_.append(bloque, static_cast<std::size_t>(n));
  }
}

void ServicioEnMarcha::fracasar(const std::string& motivo) {
  std::string estado;
  if (pid_ > 0) {
    int s = 0;
    if (waitpid(pid_, &s, WNOHANG) == pid_) {
      estado = " (" + describirEstado(s) + ")";
    } else {
      kill(pid_, SIGKILL);
      waitpid(pid_, &s, 0);
    }
    pid_ = -1;
  }
  if (salida_ >= 0) close(salida_);
  salida_ = -1;
  throw std::runtime_error("vemlo-servicio " + motivo + estado + "\nstderr:\n" +
                           registroDeErrores());
}

const CuentaImpresa& ServicioEnMarcha::cuenta(const std::string& correo) const {
  for (const auto& cuenta : cuentas_)
    if (cuenta.correo == correo) return cuenta;
  throw std::runtime_error("el servicio no imprimió la cuenta " + correo);
}

std::string ServicioEnMarcha::totpAhora() const {
  return totpEn(std::chrono::system_clock::now());
}

std::string ServicioEnMarcha::totpEn(std::chrono::system_clock::time_point momento) const {
  return codigoTotp(secretoTotp(), momento);
}

int ServicioEnMarcha::detener() {
  if (!enMarcha()) return -1;
  kill(pid_, SIGTERM);
  int estado = 0;
  const auto hasta = Reloj::now() + std::chrono::seconds(30);
  while (waitpid(pid_, &estado, WNOHANG) == 0) {
    if (Reloj::now() > hasta) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &estado, 0);
      ADD_FAILURE() << "vemlo-servicio no terminó 30 s después de SIGTERM";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  // Nothing else may reach stdout after the start-up lines.
  std::string resto = pendiente_;
  char bloque[4096];
  for (ssize_t n; (n = read(salida_, bloque, sizeof bloque)) > 0;)
    resto.append(bloque, static_cast<std::size_t>(n));
  close(salida_);
  salida_ = -1;
  pendiente_.clear();
  if (!resto.empty()) ADD_FAILURE() << "vemlo-servicio escribió más en stdout: «" << resto << "»";
  if (WIFEXITED(estado)) return WEXITSTATUS(estado);
  return WIFSIGNALED(estado) ? -WTERMSIG(estado) : -1;
}

void ServicioEnMarcha::reiniciar() {
  const int estado = detener();
  if (estado != 0)
    throw std::runtime_error("vemlo-servicio no se detuvo limpio: " + std::to_string(estado) +
                             "\n" + registroDeErrores());
  arrancar();
}

void ServicioEnMarcha::reanudar() {
  if (enMarcha()) throw std::runtime_error("vemlo-servicio ya está en marcha");
  arrancar("127.0.0.1:" + std::to_string(puerto_));
}

std::string ServicioEnMarcha::registroDeErrores() const {
  std::ifstream archivo(errores_);
  std::stringstream texto;
  texto << archivo.rdbuf();
  std::string todo = texto.str();
  constexpr std::size_t maximo = 8000;
  return todo.size() > maximo ? "…" + todo.substr(todo.size() - maximo) : todo;
}

}  // namespace vemlo::pruebas
