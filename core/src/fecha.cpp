// fechaDe: ISO 8601 internet date-times as the service writes them, read without locale or
// time-zone database (the zone is always in the text, or UTC).
#include "vemlo/fecha.h"

#include <cctype>
#include <string>

namespace vemlo {
namespace {

using namespace std::chrono;

// Reads exactly `n` digits at `pos`, advancing it.
bool digitos(std::string_view t, std::size_t& pos, int n, int& valor) {
  if (pos + n > t.size()) return false;
  valor = 0;
  for (int i = 0; i < n; ++i) {
    const char c = t[pos + i];
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    valor = valor * 10 + (c - '0');
  }
  pos += n;
  return true;
}

bool caracter(std::string_view t, std::size_t& pos, char c) {
  if (pos >= t.size() || t[pos] != c) return false;
  ++pos;
  return true;
}

// Milliseconds of a fraction ".d+" (at least one digit; digits past the third are dropped).
bool fraccion(std::string_view t, std::size_t& pos, milliseconds& ms) {
  if (!caracter(t, pos, '.')) return false;
  const std::size_t inicio = pos;
  int valor = 0;
  for (; pos < t.size() && std::isdigit(static_cast<unsigned char>(t[pos])); ++pos)
    if (pos - inicio < 3) valor = valor * 10 + (t[pos] - '0');
  const auto cifras = pos - inicio;
  if (cifras == 0) return false;
  for (auto i = cifras; i < 3; ++i) valor *= 10;
  ms = milliseconds(valor);
  return true;
}

// "Z", "+hh:mm", "-hh:mm", "+hhmm" or "-hhmm": the offset east of UTC.
bool zona(std::string_view t, std::size_t& pos, minutes& desfase) {
  if (caracter(t, pos, 'Z')) return true;
  if (pos >= t.size() || (t[pos] != '+' && t[pos] != '-')) return false;
  const int signo = t[pos++] == '-' ? -1 : 1;
  int h = 0, m = 0;
  if (!digitos(t, pos, 2, h)) return false;
  caracter(t, pos, ':');
  if (!digitos(t, pos, 2, m) || h > 23 || m > 59) return false;
  desfase = minutes(signo * (h * 60 + m));
  return true;
}

std::optional<Fecha> leer(std::string_view t, bool conFraccion) {
  std::size_t pos = 0;
  int a = 0, mes = 0, d = 0, h = 0, min = 0, s = 0;
  milliseconds ms{0};
  minutes desfase{0};
  const bool bien = digitos(t, pos, 4, a) && caracter(t, pos, '-') && digitos(t, pos, 2, mes) &&
                    caracter(t, pos, '-') && digitos(t, pos, 2, d) && caracter(t, pos, 'T') &&
                    digitos(t, pos, 2, h) && caracter(t, pos, ':') && digitos(t, pos, 2, min) &&
                    caracter(t, pos, ':') && digitos(t, pos, 2, s) &&
                    (!conFraccion || fraccion(t, pos, ms)) && zona(t, pos, desfase) &&
                    pos == t.size();
  const year_month_day dia{year(a), month(static_cast<unsigned>(mes)),
                           day(static_cast<unsigned>(d))};
  if (!bien || !dia.ok() || h > 23 || min > 59 || s > 59) return std::nullopt;
  return sys_days(dia) + hours(h) + minutes(min) + seconds(s) + ms - desfase;
}

}  // namespace

std::optional<Fecha> fechaDe(std::string_view texto) {
  if (auto fecha = leer(texto, true)) return fecha;
  if (auto fecha = leer(texto, false)) return fecha;
  std::string utc(texto);
  for (char& c : utc)
    if (c == ' ') c = 'T';
  return leer(utc + 'Z', false);
}

}  // namespace vemlo
