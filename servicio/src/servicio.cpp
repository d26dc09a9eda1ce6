// The HTTP server: a thread pool with keep-alive and TCP_NODELAY, every route group, one log
// line per request on stderr (tokens and query values left out), and JSON bodies for the
// failures httplib produces itself (unknown routes, bad requests).
#include "servicio.h"

#include <chrono>
#include <cstdio>

#include <httplib.h>

#include "http.h"
#include "pruebas.h"
#include "rutas.h"

namespace vemlo::servicio {
namespace {

using Reloj = std::chrono::steady_clock;

Reloj::time_point& inicioDelPedido() {
  thread_local Reloj::time_point inicio;
  return inicio;
}

// The path as it may be logged: signed tokens hidden, query values dropped.
std::string rutaParaLog(const httplib::Request& req) {
  std::string ruta = req.path;
  for (const char* prefijo : {"/almacen/subir/", "/almacen/partes/", "/almacen/", "/s/"}) {
    if (ruta.rfind(prefijo, 0) == 0) {
      ruta = std::string(prefijo) + "…";
      break;
    }
  }
  char separador = '?';
  for (const auto& [nombre, valor] : req.params) {
    ruta += separador + nombre;
    separador = '&';
  }
  return ruta;
}

std::string codigoPorEstado(int estado) {
  switch (estado) {
    case 401:
      return "sesion";
    case 403:
      return "permiso";
    case 404:
    case 405:
      return "noExiste";
    default:
      return estado >= 500 ? "servidor" : "datos";
  }
}

}  // namespace

struct Servicio::Interno {
  Opciones opciones;
  httplib::Server servidor;
  Pruebas pruebas;
};

Servicio::Servicio(const Opciones& opciones) : interno_(std::make_unique<Interno>()) {
  interno_->opciones = opciones;
  auto& servidor = interno_->servidor;
  auto* pruebas = opciones.pruebas ? &interno_->pruebas : nullptr;
  servidor.new_task_queue = [] { return new httplib::ThreadPool(32); };
  servidor.set_tcp_nodelay(true);
  servidor.set_keep_alive_max_count(100000);
  servidor.set_keep_alive_timeout(10);
  servidor.set_read_timeout(30);
  servidor.set_write_timeout(30);
  servidor.set_pre_routing_handler([pruebas](const httplib::Request& req, httplib::Response&) {
    inicioDelPedido() = Reloj::now();
    cuerpoVacioAdrede() = false;
    // Ranges are served by the routes that stream files; httplib must not apply them again.
    const_cast<httplib::Request&>(req).ranges.clear();
    if (pruebas) pruebas->anotar(req);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  servidor.set_error_handler([](const httplib::Request&, httplib::Response& res) {
    if (!res.body.empty() || cuerpoVacioAdrede() || res.status == 416) return;
    responderError(res, res.status, codigoPorEstado(res.status));
  });
  servidor.set_logger([](const httplib::Request& req, const httplib::Response& res) {
    const auto ms = std::chrono::duration<double, std::milli>(Reloj::now() - inicioDelPedido());
    std::fprintf(stderr, "%s %s %d %.1fms\n", req.method.c_str(), rutaParaLog(req).c_str(),
                 res.status, ms.count());
  });

  Interceptor interceptor;
  if (pruebas) {
    interceptor = [pruebas](const auto& req, auto& res) { return pruebas->interceptar(req, res); };
    pruebas->registrarRutas(servidor);
  }
  Rutas rutas(servidor, interceptor);
  rutasCuentas(rutas);
  rutasCarpetas(rutas);
  rutasListas(rutas);
  rutasEnlaces(rutas);
  rutasSubidas(rutas);
}

Servicio::~Servicio() = default;

int Servicio::enlazar() {
  auto& servidor = interno_->servidor;
  const auto& opciones = interno_->opciones;
  if (opciones.puerto == 0) return servidor.bind_to_any_port(opciones.anfitrion);
  return servidor.bind_to_port(opciones.anfitrion, opciones.puerto) ? opciones.puerto : -1;
}

bool Servicio::escuchar() {
  return interno_->servidor.listen_after_bind();
}

void Servicio::parar() {
  interno_->servidor.stop();
}

}  // namespace vemlo::servicio
