// ServicioEnMarcha: a real vemlo-servicio process for a test. It starts the binary on a
// fresh data folder and a free loopback port, reads what it prints at start (the demo
// accounts, then the address it listens on), and stops it with SIGTERM, expecting a clean
// exit. Test suites of any component that needs a live service build on it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace vemlo::pruebas {

inline constexpr const char* correoDemo = "demo@vemlo.test";
inline constexpr const char* correoMfa = "mfa@vemlo.test";
inline constexpr const char* claveDemo = "vemlo-demo";

// One "cuenta ..." line of the service's start-up output.
struct CuentaImpresa {
  std::string correo;
  std::string clave;
  std::string secretoTotp;            // empty without two-step sign-in
  std::vector<std::string> respaldo;  // unused backup codes
};

// How a --demo service gets its demo: seeding takes seconds, so by default the data folder
// starts as a copy of one seeded earlier by the same binary (kept in the build tree), and
// the service finds its demo already there; `propia` seeds into an empty folder.
enum class Siembra { copiada, propia };

class ServicioEnMarcha {
 public:
  // Starts the service with `banderas` added to --datos and --escuchar.
  explicit ServicioEnMarcha(std::vector<std::string> banderas = {"--demo", "--pruebas"},
                            Siembra siembra = Siembra::copiada);
  ~ServicioEnMarcha();
  ServicioEnMarcha(const ServicioEnMarcha&) = delete;
  ServicioEnMarcha& operator=(const ServicioEnMarcha&) = delete;

  // "http://127.0.0.1:PORT", exactly as the service printed it.
  const std::string& base() const { return base_; }
  int puerto() const { return puerto_; }
  const std::filesystem::path& datos() const { return datos_; }
  // The folder that holds --datos and the service's stderr log, and nothing else.
  const std::filesystem::path& raiz() const { return raiz_; }

  const std::vector<CuentaImpresa>& cuentas() const { return cuentas_; }
  // The printed line of `correo`; fails the test (throws) when there is none.
  const CuentaImpresa& cuenta(const std::string& correo) const;
  const std::string& secretoTotp() const { return cuenta(correoMfa).secretoTotp; }
  const std::vector<std::string>& respaldo() const { return cuenta(correoMfa).respaldo; }

  // The RFC 6238 code (SHA-1, 30 s, 6 digits) of the MFA account at `momento`, or now.
  std::string totpAhora() const;
  std::string totpEn(std::chrono::system_clock::time_point momento) const;

  // Stops with SIGTERM and starts again on the same --datos (new port, new printed lines).
  void reiniciar();
  // Starts a service stopped by `detener` again on the same --datos and the same port, so its
  // clients find it where it was.
  void reanudar();
  // Stops with SIGTERM and gives the exit status (or -signal). The destructor checks that a
  // service still running stops with 0.
  int detener();
  bool enMarcha() const { return pid_ > 0; }
  // The service's stderr so far, for failure messages.
  std::string registroDeErrores() const;

 private:
  void arrancar(const std::string& escuchar = "127.0.0.1:0");
  void copiarDemoSembrada();
  void leerArranque(std::chrono::seconds plazo);
  void fracasar(const std::string& motivo);

  std::vector<std::string> banderas_;
  std::filesystem::path raiz_;
  std::filesystem::path datos_;
  std::filesystem::path errores_;
  pid_t pid_ = -1;
  int salida_ = -1;  // read end of the service's stdout
  std::string pendiente_;
  std::string base_;
  int puerto_ = 0;
  std::vector<CuentaImpresa> cuentas_;
};

// The RFC 6238 code of a base-32 secret at `momento` (SHA-1, 30 s steps, 6 digits).
std::string codigoTotp(const std::string& secretoBase32,
                       std::chrono::system_clock::time_point momento);

}  // namespace vemlo::pruebas
