// Time-based one-time codes: the HOTP truncation over HMAC-SHA-1 of the step counter, and
// the base32 form in which authenticator apps take the secret.
#include "totp.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "cripto.h"

namespace vemlo::servicio {
namespace {

constexpr std::string_view alfabeto = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr std::int64_t paso = 30;

std::uint32_t hotp(std::string_view secreto, std::uint64_t contador) {
  unsigned char mensaje[8];
  for (int i = 7; i >= 0; --i) {
    mensaje[i] = static_cast<unsigned char>(contador & 0xff);
    contador >>= 8;
  }
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int largo = 0;
  HMAC(EVP_sha1(), secreto.data(), static_cast<int>(secreto.size()), mensaje, sizeof mensaje, mac,
       &largo);
  const int desde = mac[largo - 1] & 0x0f;
  return (static_cast<std::uint32_t>(mac[desde] & 0x7f) << 24) |
         (static_cast<std::uint32_t>(mac[desde + 1]) << 16) |
         (static_cast<std::uint32_t>(mac[desde + 2]) << 8) | mac[desde + 3];
}

}  // namespace

std::string base32(std::string_view bytes) {
  std::string texto;
  std::uint32_t acumulado = 0;
  int bits = 0;
  for (const char c : bytes) {
    acumulado = (acumulado << 8) | static_cast<unsigned char>(c);
    bits += 8;
    while (bits >= 5) {
      texto.push_back(alfabeto[(acumulado >> (bits - 5)) & 31]);
      bits -= 5;
    }
  }
  if (bits > 0) texto.push_back(alfabeto[(acumulado << (5 - bits)) & 31]);
  return texto;
}

std::optional<std::string> desdeBase32(std::string_view texto) {
  std::string bytes;
  std::uint32_t acumulado = 0;
  int bits = 0;
  for (const char c : texto) {
    if (c == ' ' || c == '=' || c == '-') continue;
    const char mayuscula = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    const auto valor = alfabeto.find(mayuscula);
    if (valor == std::string_view::npos) return std::nullopt;
    acumulado = (acumulado << 5) | static_cast<std::uint32_t>(valor);
    bits += 5;
    if (bits >= 8) {
      bytes.push_back(static_cast<char>((acumulado >> (bits - 8)) & 0xff));
      bits -= 8;
    }
  }
  return bytes;
}

std::string codigoTotp(std::string_view secreto, std::int64_t segundos, int digitos) {
  std::uint32_t modulo = 1;
  for (int i = 0; i < digitos; ++i) modulo *= 10;
  std::string codigo =
      std::to_string(hotp(secreto, static_cast<std::uint64_t>(segundos / paso)) % modulo);
  return std::string(static_cast<std::size_t>(digitos) - codigo.size(), '0') + codigo;
}

bool totpValido(std::string_view secreto, std::string_view codigo, std::int64_t segundos) {
  if (codigo.size() != 6) return false;
  bool valido = false;
  for (std::int64_t desvio = -1; desvio <= 1; ++desvio)
    valido = igualesSeguro(codigoTotp(secreto, segundos + desvio * paso), codigo) || valido;
  return valido;
}

}  // namespace vemlo::servicio
