// Printing tables, JSON and messages.
#include "salida.h"

#include <algorithm>
#include <iostream>

namespace vemlo::cli {

std::size_t anchoDe(std::string_view texto) {
  return static_cast<std::size_t>(
      std::count_if(texto.begin(), texto.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

std::string Tabla::texto() const {
  std::vector<std::size_t> anchos;
  const auto medir = [&](const std::vector<std::string>& celdas) {
    anchos.resize(std::max(anchos.size(), celdas.size()), 0);
    for (std::size_t i = 0; i < celdas.size(); ++i)
      anchos[i] = std::max(anchos[i], anchoDe(celdas[i]));
  };
  medir(encabezado_);
  for (const auto& celdas : filas_) medir(celdas);
  std::string salida;
  const auto escribir = [&](const std::vector<std::string>& celdas) {
    std::string linea;
    for (std::size_t i = 0; i < celdas.size(); ++i) {
      linea += celdas[i];
      if (i + 1 < celdas.size()) linea += std::string(anchos[i] - anchoDe(celdas[i]) + 2, ' ');
    }
    salida += linea + "\n";
  };
  if (!encabezado_.empty()) escribir(encabezado_);
  for (const auto& celdas : filas_) escribir(celdas);
  return salida;
}

void Tabla::imprimir() const {
  std::cout << texto() << std::flush;
}

void imprimirJson(const nlohmann::json& documento) {
  std::cout << documento.dump(2) << std::endl;
}

void imprimir(std::string_view linea) {
  std::cout << linea << std::endl;
}

void avisar(std::string_view linea) {
  std::cerr << "vemlo-cli: " << linea << std::endl;
}

}  // namespace vemlo::cli
