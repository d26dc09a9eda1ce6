// OpenSSL behind small functions: nothing else in the service includes OpenSSL headers.
#include "cripto.h"

#include <stdexcept>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace vemlo::servicio {

std::string bytesAlAzar(std::size_t n) {
  std::string bytes(n, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(n)) != 1)
    throw std::runtime_error("sin azar del sistema");
  return bytes;
}

std::string hex(std::string_view bytes) {
  static constexpr char digitos[] = "0123456789abcdef";
  std::string texto;
  texto.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    texto.push_back(digitos[b >> 4]);
    texto.push_back(digitos[b & 15]);
  }
  return texto;
}

std::string nuevoId() {
  return hex(bytesAlAzar(16));
}
std::string nuevoToken() {
  return hex(bytesAlAzar(32));
}

std::string huella(std::string_view texto) {
  Resumen resumen;
  resumen.sumar(texto.data(), texto.size());
  return resumen.hexFinal();
}

std::string derivarClave(std::string_view clave, std::string_view sal, int iteraciones) {
  std::string salida(32, '\0');
  if (PKCS5_PBKDF2_HMAC(clave.data(), static_cast<int>(clave.size()),
                        reinterpret_cast<const unsigned char*>(sal.data()),
                        static_cast<int>(sal.size()), iteraciones, EVP_sha256(),
                        static_cast<int>(salida.size()),
                        reinterpret_cast<unsigned char*>(salida.data())) != 1)
    throw std::runtime_error("PBKDF2 falló");
  return salida;
}

bool igualesSeguro(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

Resumen::Resumen() : ctx_(EVP_MD_CTX_new()) {
  if (!ctx_ || EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(ctx_), EVP_sha256(), nullptr) != 1)
    throw std::runtime_error("SHA-256 no disponible");
}

Resumen::~Resumen() {
  EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx_));
}

void Resumen::sumar(const char* datos, std::size_t n) {
  EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx_), datos, n);
}

std::string Resumen::hexFinal() {
  unsigned char salida[EVP_MAX_MD_SIZE];
  unsigned int largo = 0;
  EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(ctx_), salida, &largo);
  return hex(std::string_view(reinterpret_cast<const char*>(salida), largo));
}

}  // namespace vemlo::servicio
