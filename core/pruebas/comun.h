// Small helpers shared by the core and session tests.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "vemlo/error.h"

namespace vemlo::pruebas {

// The test's own HOME: scripts/aislar gives every test a fresh one.
inline std::filesystem::path casa() {
  return std::getenv("HOME");
}

// The ErrorVemlo that `llamada` throws; none when it returns.
template <class F>
std::optional<ErrorVemlo> falla(F&& llamada) {
  try {
    llamada();
  } catch (const ErrorVemlo& e) {
    return e;
  }
  return std::nullopt;
}

// Names each row of a table-driven suite after its `nombre`.
inline constexpr auto porNombre = [](const auto& info) { return info.param.nombre; };

}  // namespace vemlo::pruebas
