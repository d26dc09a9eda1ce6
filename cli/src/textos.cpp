// The bilingual words of vemlo-cli and the small formatting rules that differ by language.
#include "textos.h"

#include <array>
#include <cstdio>

#include "vemlo/mensajes.h"

namespace vemlo::cli {

std::string tr(std::string_view ingles, std::string_view espanol) {
  return std::string(enEspanol() ? espanol : ingles);
}

std::string rellenar(std::string_view plantilla, std::initializer_list<std::string_view> valores) {
  std::string texto;
  auto valor = valores.begin();
  for (std::size_t i = 0; i < plantilla.size(); ++i) {
    if (plantilla.substr(i, 2) == "{}" && valor != valores.end()) {
      texto.append(*valor++);
      ++i;
      continue;
    }
    texto.push_back(plantilla[i]);
  }
  return texto;
}

std::string trf(std::string_view ingles, std::string_view espanol,
                std::initializer_list<std::string_view> valores) {
  return rellenar(tr(ingles, espanol), valores);
}

std::string tamanoLegible(std::int64_t bytes) {
  static constexpr std::array<const char*, 6> unidades{"kB", "MB", "GB", "TB", "PB", "EB"};
  if (bytes < 1000) return std::to_string(bytes) + " B";
  double valor = static_cast<double>(bytes);
  std::size_t i = 0;
  for (valor /= 1000; valor >= 999.95 && i + 1 < unidades.size(); ++i) valor /= 1000;
  char texto[32];
  std::snprintf(texto, sizeof texto, "%.1f %s", valor, unidades[i]);
  std::string resultado(texto);
  if (enEspanol())
    if (const auto punto = resultado.find('.'); punto != std::string::npos) resultado[punto] = ',';
  return resultado;
}

std::string rolLegible(std::string_view rol) {
  if (rol == "lector") return tr("viewer", "lector");
  if (rol == "editor") return "editor";
  if (rol == "administrador") return tr("admin", "administrador");
  if (rol == "dueno" || rol == "dueño" || rol == "propietario") return tr("owner", "dueño");
  return std::string(rol);
}

std::string claseLegible(std::string_view tipo) {
  return tipo == "carpeta" ? tr("folder", "carpeta") : tr("file", "archivo");
}

std::string citar(std::string_view nombre) {
  return enEspanol() ? "«" + std::string(nombre) + "»" : "“" + std::string(nombre) + "”";
}

}  // namespace vemlo::cli
