// The service's cryptography, all from OpenSSL: random tokens and identifiers, digests,
// password hashing and constant-time comparison.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vemlo::servicio {

// `n` bytes from the system's secure generator.
std::string bytesAlAzar(std::size_t n);
std::string hex(std::string_view bytes);

// An opaque identifier for records and blobs (16 random bytes, hex).
std::string nuevoId();
// A bearer or signed-URL token (32 random bytes, hex).
std::string nuevoToken();
// SHA-256 of `texto`, hex: the stored form of tokens.
std::string huella(std::string_view texto);

// PBKDF2-HMAC-SHA256 of a password.
std::string derivarClave(std::string_view clave, std::string_view sal, int iteraciones);
inline constexpr int iteracionesClave = 120000;

bool igualesSeguro(std::string_view a, std::string_view b);

// Streaming SHA-256 for received bytes.
class Resumen {
 public:
  Resumen();
  ~Resumen();
  Resumen(const Resumen&) = delete;
  Resumen& operator=(const Resumen&) = delete;
  void sumar(const char* datos, std::size_t n);
  std::string hexFinal();

 private:
  void* ctx_;
};

}  // namespace vemlo::servicio
