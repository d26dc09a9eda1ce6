// What the commands print: aligned tables on stdout, one JSON document for --json, and
// messages on stderr. Tables are for people; scripts use --json.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace vemlo::cli {

// Columns separated by two spaces, padded to the widest cell (in code points); the last
// column is not padded. A table with `encabezado` prints it first.
class Tabla {
 public:
  explicit Tabla(std::vector<std::string> encabezado = {}) : encabezado_(std::move(encabezado)) {}
  void fila(std::vector<std::string> celdas) { filas_.push_back(std::move(celdas)); }
  bool vacia() const { return filas_.empty(); }
  std::string texto() const;
  void imprimir() const;

 private:
  std::vector<std::string> encabezado_;
  std::vector<std::vector<std::string>> filas_;
};

// The document, indented, on stdout.
void imprimirJson(const nlohmann::json& documento);
// One line on stdout.
void imprimir(std::string_view linea);
// One line on stderr, prefixed with "vemlo-cli: ".
void avisar(std::string_view linea);

// Code points of UTF-8 text: the columns a terminal gives the names we print.
std::size_t anchoDe(std::string_view texto);

}  // namespace vemlo::cli
