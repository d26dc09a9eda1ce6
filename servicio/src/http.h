// The HTTP side shared by every route: the service's failures as exceptions, JSON bodies
// in and out, the session behind a bearer token, and the route table that wraps each
// handler with fault injection and failure answers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <httplib.h>
#include <nlohmann/json.hpp>

#include "opciones.h"

namespace vemlo::servicio {

// What every handler may read: the options and where the service is reached.
struct Entorno {
  Opciones opciones;
  std::string base;  // "http://127.0.0.1:PORT"
  std::filesystem::path blobs;
};
Entorno& entorno();

// A failure answer: status and code word, as {"error": codigo}.
struct ErrorApi {
  int estado;
  std::string codigo;
};
[[noreturn]] inline void fallar(int estado, std::string codigo) {
  throw ErrorApi{estado, std::move(codigo)};
}
[[noreturn]] inline void datosMal() {
  fallar(400, "datos");
}
[[noreturn]] inline void noExiste() {
  fallar(404, "noExiste");
}
[[noreturn]] inline void sinPermiso() {
  fallar(403, "permiso");
}

void responderJson(httplib::Response& res, const nlohmann::json& cuerpo, int estado = 200);
void responderError(httplib::Response& res, int estado, const std::string& codigo);
inline void responderOk(httplib::Response& res) {
  responderJson(res, nlohmann::json::object());
}

// The request's JSON object (an empty body reads as {}); anything else is "datos".
nlohmann::json cuerpoJson(const httplib::Request& req);
std::string texto(const nlohmann::json& cuerpo, const char* clave);
std::optional<std::string> textoOpcional(const nlohmann::json& cuerpo, const char* clave);
std::int64_t entero(const nlohmann::json& cuerpo, const char* clave);
std::optional<std::int64_t> enteroOpcional(const nlohmann::json& cuerpo, const char* clave);
std::optional<bool> logicoOpcional(const nlohmann::json& cuerpo, const char* clave);
// A query parameter that must be there.
std::string parametro(const httplib::Request& req, const char* nombre);

// The id of the account whose bearer token the request carries; "sesion" otherwise.
std::string usuarioDeSesion(const httplib::Request& req);

// Decides, before a handler runs, whether an injected fault answers instead (true).
using Interceptor = std::function<bool(const httplib::Request&, httplib::Response&)>;
using Manejador = std::function<void(const httplib::Request&, httplib::Response&)>;
using ManejadorBytes =
    std::function<void(const httplib::Request&, httplib::Response&, const httplib::ContentReader&)>;

class Rutas {
 public:
  Rutas(httplib::Server& servidor, Interceptor interceptor)
      : servidor_(servidor), interceptor_(std::move(interceptor)) {}
  void get(const std::string& patron, Manejador manejador);
  // JSON bodies are read here, at most `limiteJson` bytes of them ("datos", 413, beyond).
  void post(const std::string& patron, Manejador manejador);
  void put(const std::string& patron, Manejador manejador);
  void patch(const std::string& patron, Manejador manejador);
  void borrar(const std::string& patron, Manejador manejador);
  // A PUT whose body is streamed to the handler instead of being read into memory.
  void putBytes(const std::string& patron, ManejadorBytes manejador);

  static constexpr std::size_t limiteJson = 1 << 20;

 private:
  using Registrar = httplib::Server& (
      httplib::Server::*)(const std::string&, httplib::Server::HandlerWithContentReader);
  using RegistrarSimple = httplib::Server& (httplib::Server::*)(const std::string&,
                                                                httplib::Server::Handler);
  Manejador envolver(Manejador manejador);
  void conCuerpo(Registrar registrar, RegistrarSimple simple, const std::string& patron,
                 Manejador manejador);
  httplib::Server& servidor_;
  Interceptor interceptor_;
};

// Calls `manejador`, turning ErrorApi and any other exception into failure answers.
void atender(httplib::Response& res, const std::function<void()>& manejador);

}  // namespace vemlo::servicio
