// The cache limit setting on disk, and sizes as people write them.
#include "finder/limite_cache.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include <nlohmann/json.hpp>

#include "finder/dominios.h"
#include "vemlo/archivo.h"

namespace vemlo::finder {
namespace {

namespace fs = std::filesystem;

// The multiplier of a unit ("", "B", "K", "KB", "KiB", ... case aside): powers of 1000, or of
// 1024 for the "iB" forms; none for anything else.
std::optional<double> multiplo(std::string unidad) {
  for (auto& c : unidad) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  double base = 1000.0;
  if (unidad.size() == 3 && unidad.ends_with("IB")) {
    unidad.resize(1);
    base = 1024.0;
  } else if (unidad.size() == 2 && unidad.ends_with('B')) {
    unidad.pop_back();
  }
  if (unidad.empty() || unidad == "B") return 1.0;
  static constexpr std::string_view letras = "KMGT";
  const auto pos = letras.find(unidad);
  if (unidad.size() != 1 || pos == std::string_view::npos) return std::nullopt;
  return std::pow(base, static_cast<double>(pos + 1));
}

}  // namespace

fs::path archivoDeLimiteCache() {
  return archivoDeDominios().parent_path() / "cache.json";
}

std::uint64_t limiteCache() {
  try {
    const auto texto = leerSiHay(archivoDeLimiteCache());
    if (!texto) return limiteCachePorOmision;
    const auto ajuste = nlohmann::json::parse(*texto, nullptr, false);
    if (!ajuste.is_object() || !ajuste.contains("limite")) return limiteCachePorOmision;
    const auto& limite = ajuste["limite"];
    if (!limite.is_number_unsigned() || limite.get<std::uint64_t>() == 0)
      return limiteCachePorOmision;
    return limite.get<std::uint64_t>();
  } catch (const std::exception&) {
    return limiteCachePorOmision;
  }
}

void guardarLimiteCache(std::uint64_t bytes) {
  if (bytes == 0) throw std::invalid_argument("the cache limit must be at least one byte");
  const auto ruta = archivoDeLimiteCache();
  fs::create_directories(ruta.parent_path());
  ::chmod(ruta.parent_path().c_str(), 0700);
  reemplazar(ruta, nlohmann::json{{"limite", bytes}}.dump() + "\n", Durabilidad::datos);
}

std::optional<std::uint64_t> leerTamano(const std::string& texto) {
  std::size_t fin = 0;
  double numero = 0;
  try {
    numero = std::stod(texto, &fin);
  } catch (const std::exception&) {
    return std::nullopt;
  }
  if (!std::isdigit(static_cast<unsigned char>(texto.front()))) return std::nullopt;
  while (fin < texto.size() && texto[fin] == ' ') ++fin;
  const auto factor = multiplo(texto.substr(fin));
  if (!factor || !std::isfinite(numero)) return std::nullopt;
  const auto bytes = std::floor(numero * *factor);
  if (bytes < 1 || bytes > 1.8e19) return std::nullopt;
  return static_cast<std::uint64_t>(bytes);
}

}  // namespace vemlo::finder
