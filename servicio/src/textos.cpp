// Name rules, search folding (ICU: decomposition, marks dropped, case folding) and dates.
#include "textos.h"

#include <chrono>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace vemlo::servicio {

bool nombreValido(std::string_view nombre) {
  if (nombre.empty() || nombre == "." || nombre == ".." || nombre.size() > 255) return false;
  return nombre.find('/') == std::string_view::npos && nombre.find('\0') == std::string_view::npos;
}

std::string plegar(std::string_view texto) {
  UErrorCode estado = U_ZERO_ERROR;
  const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(estado);
  if (U_FAILURE(estado)) return std::string(texto);
  const auto original = icu::UnicodeString::fromUTF8(
      icu::StringPiece(texto.data(), static_cast<int32_t>(texto.size())));
  const icu::UnicodeString descompuesto = nfd->normalize(original, estado);
  if (U_FAILURE(estado)) return std::string(texto);
  icu::UnicodeString plegado;
  for (int32_t i = 0; i < descompuesto.length();) {
    const UChar32 c = descompuesto.char32At(i);
    i += U16_LENGTH(c);
    if (u_charType(c) == U_NON_SPACING_MARK) continue;
    plegado.append(u_foldCase(c, U_FOLD_CASE_DEFAULT));
  }
  std::string salida;
  plegado.toUTF8String(salida);
  return salida;
}

std::int64_t ahoraMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string fechaIso(std::int64_t ms) {
  // Written digit by digit: folder views format thousands of dates per answer.
  const auto dias = std::chrono::floor<std::chrono::days>(
      std::chrono::sys_time<std::chrono::milliseconds>(std::chrono::milliseconds(ms)));
  const std::chrono::year_month_day fecha(dias);
  const std::int64_t delDia = ms - dias.time_since_epoch().count() * 86400000LL;
  std::string texto = "0000-00-00T00:00:00.000Z";
  const auto poner = [&texto](std::size_t desde, std::size_t digitos, std::int64_t valor) {
    for (std::size_t i = desde + digitos; i-- > desde; valor /= 10)
      texto[i] = static_cast<char>('0' + valor % 10);
  };
  poner(0, 4, static_cast<int>(fecha.year()));
  poner(5, 2, static_cast<unsigned>(fecha.month()));
  poner(8, 2, static_cast<unsigned>(fecha.day()));
  poner(11, 2, delDia / 3600000);
  poner(14, 2, delDia / 60000 % 60);
  poner(17, 2, delDia / 1000 % 60);
  poner(20, 3, delDia % 1000);
  return texto;
}

}  // namespace vemlo::servicio
