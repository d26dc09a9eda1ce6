// Company paths ("/Reports/2026/q1.pdf"): resolved name by name from the company's root
// folder, one folder view per step. A leading "/" is optional, empty steps and "." are
// ignored and ".." goes up one level (never above the root).
#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vemlo/cliente.h"

namespace vemlo::cli {

// The names of a path, in order, after "." and ".." are applied.
std::vector<std::string> partirRuta(std::string_view ruta);
// "/a/b" for {"a", "b"}; "/" for none.
std::string unirRuta(const std::vector<std::string>& nombres);

// A folder or file found by its path.
struct Elemento {
  bool esCarpeta = false;
  std::string id;
  std::string nombre;
  std::string ruta;                      // the path as resolved: "/a/b"
  std::optional<ArchivoRemoto> archivo;  // a file's record
  std::string tipo() const { return esCarpeta ? "carpeta" : "archivo"; }
  Clase clase() const { return esCarpeta ? Clase::carpeta : Clase::archivo; }
};

class Rutas {
 public:
  Rutas(const Vemlo& api, const Organizacion& empresa, std::stop_token parar)
      : api_(api), empresa_(empresa), parar_(std::move(parar)) {}

  // The item at `ruta`; a step that matches nothing is ErrorOrden naming it.
  Elemento buscar(std::string_view ruta) const;
  // The folder at `ruta`, with its content; a file there is ErrorOrden.
  VistaCarpeta carpeta(std::string_view ruta) const;
  // The folder that holds `ruta`'s last name, and that name; the root has none (ErrorUso).
  std::pair<VistaCarpeta, std::string> padreYNombre(std::string_view ruta) const;

 private:
  VistaCarpeta bajar(const std::vector<std::string>& nombres) const;

  const Vemlo& api_;
  const Organizacion& empresa_;
  std::stop_token parar_;
};

}  // namespace vemlo::cli
