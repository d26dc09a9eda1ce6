// A strict UTF-8 check, following the well-formed byte sequences of Unicode's table 3-7.
#include "vemlo/utf8.h"

namespace vemlo {
namespace {

// The length of the sequence that starts with `b`, and the range allowed for its 2nd byte.
struct Inicio {
  int largo;
  unsigned char min;
  unsigned char max;
};

Inicio inicioDe(unsigned char b) {
  if (b < 0x80) return {1, 0, 0};
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

}  // namespace

bool esUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const Inicio inicio = inicioDe(static_cast<unsigned char>(bytes[i]));
    if (inicio.largo == 0 || i + inicio.largo > bytes.size()) return false;
    for (int k = 1; k < inicio.largo; ++k) {
      const auto b = static_cast<unsigned char>(bytes[i + k]);
      const bool bien = k == 1 ? b >= inicio.min && b <= inicio.max : b >= 0x80 && b <= 0xBF;
      if (!bien) return false;
    }
    i += inicio.largo;
  }
  return true;
}

}  // namespace vemlo
