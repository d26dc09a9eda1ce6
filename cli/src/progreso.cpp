// Drawing the progress bar: one line rewritten with "\r", sized to the terminal's width.
#include "progreso.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "salida.h"
#include "textos.h"

namespace vemlo::cli {
namespace {

using namespace std::chrono_literals;

int anchoTerminal() {
  winsize tamano{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &tamano) == 0 && tamano.ws_col >= 40) return tamano.ws_col;
  return 80;
}

std::string duracion(double segundos) {
  const auto total = std::lround(segundos);
  char texto[32];
  if (total >= 3600)
    std::snprintf(texto, sizeof texto, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                  total % 60);
  else
    std::snprintf(texto, sizeof texto, "%ld:%02ld", total / 60, total % 60);
  return texto;
}

// The first `ancho` code points of `texto`, with "…" when it had to be cut.
std::string recortar(const std::string& texto, std::size_t ancho) {
  if (anchoDe(texto) <= ancho) return texto + std::string(ancho - anchoDe(texto), ' ');
  std::string corto;
  std::size_t puntos = 0;
  for (char c : texto) {
    if ((c & 0xC0) != 0x80 && ++puntos > ancho - 1) break;
    corto.push_back(c);
  }
  return corto + "…";
}

}  // namespace

Progreso::Progreso(std::int64_t total, bool visible)
    : total_(std::max<std::int64_t>(total, 0)), visible_(visible) {}

Progreso::~Progreso() {
  limpiar();
}

bool Progreso::esTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

void Progreso::etiqueta(std::string texto) {
  std::lock_guard bloqueo(candado_);
  etiqueta_ = std::move(texto);
  dibujar(true);
}

void Progreso::hechos(std::int64_t bytes) {
  std::lock_guard bloqueo(candado_);
  hechos_ = std::clamp<std::int64_t>(bytes, 0, total_);
  dibujar(hechos_ == total_);
}

void Progreso::limpiar() {
  std::lock_guard bloqueo(candado_);
  if (!visible_ || !dibujado_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  dibujado_ = false;
}

void Progreso::dibujar(bool forzado) {
  if (!visible_) return;
  const auto ahora = std::chrono::steady_clock::now();
  if (!forzado && ahora - ultimoDibujo_ < 100ms) return;
  ultimoDibujo_ = ahora;
  const auto texto = "\r" + linea(anchoTerminal()) + "\033[K";
  std::fputs(texto.c_str(), stderr);
  std::fflush(stderr);
  dibujado_ = true;
}

// "name  [#####-----]  12.0 MB / 40.0 MB  3.1 MB/s  0:09 left"
std::string Progreso::linea(int ancho) const {
  const double segundos =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - inicio_).count();
  const double ritmo = segundos > 0.2 ? static_cast<double>(hechos_) / segundos : 0;
  std::string cifras = "  " + tamanoLegible(hechos_) + " / " + tamanoLegible(total_);
  if (ritmo > 0) {
    cifras += "  " + tamanoLegible(static_cast<std::int64_t>(ritmo)) + "/s";
    const double resta = static_cast<double>(total_ - hechos_) / ritmo;
    cifras += "  " + trf("{} left", "quedan {}", {duracion(resta)});
  }
  // The figures get a fixed room, so that the name and the bar do not move as they change.
  constexpr std::size_t sitioCifras = 52;
  const int espacio = std::max(ancho - 1 - static_cast<int>(sitioCifras), 24);
  const int barra = std::clamp(espacio / 3, 10, 30);
  const int nombre = std::max(espacio - barra - 4, 8);
  const double fraccion =
      total_ > 0 ? static_cast<double>(hechos_) / static_cast<double>(total_) : 1;
  const int llenos = static_cast<int>(fraccion * barra);
  return recortar(etiqueta_, static_cast<std::size_t>(nombre)) + "  [" +
         std::string(static_cast<std::size_t>(llenos), '#') +
         std::string(static_cast<std::size_t>(barra - llenos), '-') + "]" + cifras;
}

}  // namespace vemlo::cli
