// What the extension's sources share and nobody else needs.
#pragma once

#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "finder/errores.h"
#include "finder/extension.h"

namespace vemlo::finder {

// The system's item as a plain copy, taken before the request's task starts.
struct ExtensionVemlo::Cambio {
  fp::ItemIdentifier id;
  fp::ItemIdentifier padre;
  std::string nombre;
  std::string tipo;
  fp::ItemFields campos = 0;
  std::optional<std::filesystem::path> contenido;

  static Cambio de(const fp::Item& item, fp::ItemFields campos,
                   const std::optional<std::filesystem::path>& contenido) {
    return {item.itemIdentifier(),
            item.parentItemIdentifier(),
            item.filename(),
            item.contentType(),
            campos,
            contenido};
  }
  bool cambia(fp::ItemField campo) const { return (campos & campo) != 0; }
};

// The service folder id of a container: the root folder for the root, the folder's own id;
// nothing for the trash and for files.
inline std::optional<std::string> carpetaDe(const Destino& d, const std::string& raizId) {
  if (std::holds_alternative<destinos::Raiz>(d)) return raizId;
  if (const auto* c = std::get_if<destinos::Carpeta>(&d)) return c->id;
  return std::nullopt;
}

// Runs `f`; a failure comes back mapped for the system instead of thrown. Gives the error
// alone for a `f` without result, else the result or nothing with the error.
template <class F>
auto intentar(F&& f) {
  using T = decltype(f());
  if constexpr (std::is_void_v<T>) {
    try {
      f();
      return std::exception_ptr{};
    } catch (...) {
      return errorDeSistema(std::current_exception());
    }
  } else {
    std::pair<std::optional<T>, std::exception_ptr> resultado;
    try {
      resultado.first.emplace(f());
    } catch (...) {
      resultado.second = errorDeSistema(std::current_exception());
    }
    return resultado;
  }
}

}  // namespace vemlo::finder
