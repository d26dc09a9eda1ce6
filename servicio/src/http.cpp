// JSON in and out, sessions from bearer tokens, and the wrapping of every route.
#include "http.h"

#include "base.h"
#include "cripto.h"

namespace vemlo::servicio {

Entorno& entorno() {
  static Entorno unico;
  return unico;
}

void responderJson(httplib::Response& res, const nlohmann::json& cuerpo, int estado) {
  res.status = estado;
  res.body = cuerpo.dump();  // moved in: large folder views are not copied again
  res.headers.erase("Content-Type");
  res.set_header("Content-Type", "application/json");
}

void responderError(httplib::Response& res, int estado, const std::string& codigo) {
  responderJson(res, {{"error", codigo}}, estado);
}

nlohmann::json cuerpoJson(const httplib::Request& req) {
  if (req.body.empty()) return nlohmann::json::object();
  auto cuerpo = nlohmann::json::parse(req.body, nullptr, false);
  if (!cuerpo.is_object()) datosMal();
  return cuerpo;
}

std::optional<std::string> textoOpcional(const nlohmann::json& cuerpo, const char* clave) {
  const auto pos = cuerpo.find(clave);
  if (pos == cuerpo.end() || pos->is_null()) return std::nullopt;
  if (!pos->is_string()) datosMal();
  return pos->get<std::string>();
}

std::string texto(const nlohmann::json& cuerpo, const char* clave) {
  auto valor = textoOpcional(cuerpo, clave);
  if (!valor) datosMal();
  return std::move(*valor);
}

std::optional<std::int64_t> enteroOpcional(const nlohmann::json& cuerpo, const char* clave) {
  const auto pos = cuerpo.find(clave);
  if (pos == cuerpo.end() || pos->is_null()) return std::nullopt;
  if (pos->is_number_integer()) {
    if (pos->is_number_unsigned() && pos->get<std::uint64_t>() > INT64_MAX) datosMal();
    return pos->get<std::int64_t>();
  }
  if (pos->is_number_float()) {
    const double valor = pos->get<double>();
    if (valor == static_cast<double>(static_cast<std::int64_t>(valor)))
      return static_cast<std::int64_t>(valor);
  }
  datosMal();
}

std::int64_t entero(const nlohmann::json& cuerpo, const char* clave) {
  const auto valor = enteroOpcional(cuerpo, clave);
  if (!valor) datosMal();
  return *valor;
}

std::optional<bool> logicoOpcional(const nlohmann::json& cuerpo, const char* clave) {
  const auto pos = cuerpo.find(clave);
  if (pos == cuerpo.end() || pos->is_null()) return std::nullopt;
  if (!pos->is_boolean()) datosMal();
  return pos->get<bool>();
}

std::string parametro(const httplib::Request& req, const char* nombre) {
  if (!req.has_param(nombre)) datosMal();
  return req.get_param_value(nombre);
}

std::string usuarioDeSesion(const httplib::Request& req) {
  const std::string cabecera = req.get_header_value("Authorization");
  constexpr std::string_view prefijo = "Bearer ";
  if (cabecera.size() <= prefijo.size() || cabecera.compare(0, prefijo.size(), prefijo) != 0)
    fallar(401, "sesion");
  Sentencia sesion("SELECT usuarioId FROM sesiones WHERE huella=?",
                   huella(std::string_view(cabecera).substr(prefijo.size())));
  if (!sesion.fila()) fallar(401, "sesion");
  return sesion.texto(0);
}

void atender(httplib::Response& res, const std::function<void()>& manejador) {
  try {
    manejador();
  } catch (const ErrorApi& error) {
    responderError(res, error.estado, error.codigo);
  } catch (const std::exception&) {
    responderError(res, 500, "servidor");
  }
}

Manejador Rutas::envolver(Manejador manejador) {
  // Captures copies: the route table itself does not outlive the registration.
  return [interceptor = interceptor_, manejador = std::move(manejador)](const httplib::Request& req,
                                                                        httplib::Response& res) {
    if (interceptor && interceptor(req, res)) return;
    atender(res, [&] { manejador(req, res); });
  };
}

void Rutas::get(const std::string& patron, Manejador manejador) {
  servidor_.Get(patron, envolver(std::move(manejador)));
}

void Rutas::conCuerpo(Registrar registrar, RegistrarSimple simple, const std::string& patron,
                      Manejador manejador) {
  auto envuelto = envolver(std::move(manejador));
  (servidor_.*registrar)(patron, [envuelto](const httplib::Request& req, httplib::Response& res,
                                            const httplib::ContentReader& lector) {
    std::string cuerpo;
    bool grande = false;
    lector([&](const char* datos, std::size_t n) {
      grande = grande || cuerpo.size() + n > limiteJson;
      if (!grande) cuerpo.append(datos, n);
      return true;  // the rest is read and dropped, so the connection stays usable
    });
    if (grande) return responderError(res, 413, "datos");
    // The request object is the server's own, not a constant; the handlers read the body.
    const_cast<httplib::Request&>(req).body = std::move(cuerpo);
    envuelto(req, res);
  });
  (servidor_.*simple)(patron, envuelto);  // the same route without a body
}

void Rutas::post(const std::string& patron, Manejador manejador) {
  conCuerpo(&httplib::Server::Post, &httplib::Server::Post, patron, std::move(manejador));
}
void Rutas::put(const std::string& patron, Manejador manejador) {
  conCuerpo(&httplib::Server::Put, &httplib::Server::Put, patron, std::move(manejador));
}
void Rutas::patch(const std::string& patron, Manejador manejador) {
  conCuerpo(&httplib::Server::Patch, &httplib::Server::Patch, patron, std::move(manejador));
}
void Rutas::borrar(const std::string& patron, Manejador manejador) {
  conCuerpo(&httplib::Server::Delete, &httplib::Server::Delete, patron, std::move(manejador));
}

void Rutas::putBytes(const std::string& patron, ManejadorBytes manejador) {
  servidor_.Put(patron, [interceptor = interceptor_, manejador = std::move(manejador)](
                            const httplib::Request& req, httplib::Response& res,
                            const httplib::ContentReader& lector) {
    bool leido = false;
    const httplib::ContentReader propio(
        [&](httplib::ContentReceiver receptor) {
          leido = true;
          return lector(std::move(receptor));
        },
        lector.multipart_reader_);
    if (!(interceptor && interceptor(req, res))) atender(res, [&] { manejador(req, res, propio); });
    // A body left unread would be taken for the next request on this connection.
    if (!leido) lector([](const char*, std::size_t) { return true; });
  });
}

}  // namespace vemlo::servicio
