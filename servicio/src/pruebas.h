// The test hooks of --pruebas: injected faults, the register of requests seen, and company
// flags that tests set. Off by default; then /_pruebas/ answers "noExiste" like any unknown
// path.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <httplib.h>
#include <nlohmann/json.hpp>

namespace vemlo::servicio {

class Pruebas {
 public:
  // Notes a request in the register (never one to /_pruebas/).
  void anotar(const httplib::Request& req);
  // Applies the first rule that matches, if any: true when it answered (or cut) instead of
  // the route.
  bool interceptar(const httplib::Request& req, httplib::Response& res);
  void registrarRutas(httplib::Server& servidor);

 private:
  struct Regla {
    std::optional<std::string> metodo;
    std::regex ruta;
    std::optional<int> estado;
    std::optional<std::string> error;
    std::int64_t veces = 1;
    std::int64_t demoraMs = 0;
    bool cortar = false;
  };
  static Regla leerRegla(const nlohmann::json& regla);
  void agregarReglas(const httplib::Request& req, httplib::Response& res);
  void fijarEmpresa(const httplib::Request& req, httplib::Response& res);

  std::mutex candado_;
  std::vector<Regla> reglas_;
  nlohmann::json pedidos_ = nlohmann::json::array();
};

// Set when a handler answers a failure status with an empty body on purpose, so the
// server's failure filler leaves it empty. Reset at the start of every request.
bool& cuerpoVacioAdrede();

}  // namespace vemlo::servicio
