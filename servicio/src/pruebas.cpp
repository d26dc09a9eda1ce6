// Fault injection and the request register for contract and fault tests. Rules apply in
// order; each has a number of uses, a delay, and either a status, a cut connection, or
// nothing (a pure delay).
#include "pruebas.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "base.h"
#include "http.h"

namespace vemlo::servicio {
namespace {

bool esDePruebas(const httplib::Request& req) {
  return req.path.rfind("/_pruebas", 0) == 0;
}

// Headers httplib adds on its own; they did not arrive with the request.
bool cabeceraPropia(const std::string& nombre) {
  return nombre == "REMOTE_ADDR" || nombre == "REMOTE_PORT" || nombre == "LOCAL_ADDR" ||
         nombre == "LOCAL_PORT";
}

bool igualSinMayusculas(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool& cuerpoVacioAdrede() {
  thread_local bool vacio = false;
  return vacio;
}

void Pruebas::anotar(const httplib::Request& req) {
  if (esDePruebas(req)) return;
  auto cabeceras = nlohmann::json::object();
  for (const auto& [nombre, valor] : req.headers) {
    if (cabeceraPropia(nombre) || igualSinMayusculas(nombre, "Authorization")) continue;
    auto& previo = cabeceras[nombre];
    previo = previo.is_string() ? previo.get<std::string>() + ", " + valor : valor;
  }
  const auto largo = req.get_header_value<std::uint64_t>("Content-Length");
  std::lock_guard candado(candado_);
  pedidos_.push_back({{"metodo", req.method},
                      {"ruta", req.target},
                      {"cabeceras", cabeceras},
                      {"tamanoCuerpo", largo}});
}

bool Pruebas::interceptar(const httplib::Request& req, httplib::Response& res) {
  if (esDePruebas(req)) return false;
  Regla regla;
  {
    std::lock_guard candado(candado_);
    auto pos = std::find_if(reglas_.begin(), reglas_.end(), [&](const Regla& r) {
      return r.veces > 0 && (!r.metodo || *r.metodo == req.method) &&
             std::regex_search(req.path, r.ruta);
    });
    if (pos == reglas_.end()) return false;
    --pos->veces;
    regla = *pos;
  }
  if (regla.demoraMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(regla.demoraMs));
  if (regla.cortar) {
    // Headers go out, then the body stops short and the connection closes.
    res.set_content_provider(1 << 20, "application/octet-stream",
                             [](std::size_t, std::size_t, httplib::DataSink&) { return false; });
    return true;
  }
  if (!regla.estado) return false;
  res.status = *regla.estado;
  if (regla.error)
    responderError(res, *regla.estado, *regla.error);
  else
    cuerpoVacioAdrede() = true;
  return true;
}

Pruebas::Regla Pruebas::leerRegla(const nlohmann::json& j) {
  if (!j.is_object()) datosMal();
  Regla regla;
  regla.metodo = textoOpcional(j, "metodo");
  try {
    regla.ruta = std::regex(texto(j, "ruta"), std::regex::ECMAScript);
  } catch (const std::regex_error&) {
    datosMal();
  }
  if (const auto estado = enteroOpcional(j, "estado")) {
    if (*estado < 100 || *estado > 599) datosMal();
    regla.estado = static_cast<int>(*estado);
  }
  regla.error = textoOpcional(j, "error");
  regla.veces = enteroOpcional(j, "veces").value_or(1);
  regla.demoraMs = enteroOpcional(j, "demoraMs").value_or(0);
  regla.cortar = logicoOpcional(j, "cortar").value_or(false);
  return regla;
}

void Pruebas::agregarReglas(const httplib::Request& req, httplib::Response& res) {
  const auto lista = nlohmann::json::parse(req.body, nullptr, false);
  if (!lista.is_array()) datosMal();
  std::vector<Regla> nuevas;
  for (const auto& regla : lista) nuevas.push_back(leerRegla(regla));
  std::lock_guard candado(candado_);
  reglas_.insert(reglas_.end(), nuevas.begin(), nuevas.end());
  responderOk(res);
}

void Pruebas::fijarEmpresa(const httplib::Request& req, httplib::Response& res) {
  const auto cuerpo = cuerpoJson(req);
  const std::string id = texto(cuerpo, "organizacionId");
  Transaccion transaccion;
  Sentencia existe("SELECT 1 FROM organizaciones WHERE id=?", id);
  if (!existe.fila()) noExiste();
  if (const auto cuota = enteroOpcional(cuerpo, "cuotaBytes"))
    Sentencia("UPDATE organizaciones SET cuota=? WHERE id=?", *cuota, id).ejecutar();
  if (const auto nombre = textoOpcional(cuerpo, "nombre"))
    Sentencia("UPDATE organizaciones SET nombre=? WHERE id=?", *nombre, id).ejecutar();
  for (const char* bandera : {"tope", "sinTarjeta", "pagoFallido", "anualVigente"})
    if (const auto valor = logicoOpcional(cuerpo, bandera))
      Sentencia(std::string("UPDATE organizaciones SET ") + bandera + "=? WHERE id=?", *valor, id)
          .ejecutar();
  transaccion.confirmar();
  responderOk(res);
}

void Pruebas::registrarRutas(httplib::Server& servidor) {
  servidor.Post("/_pruebas/fallos", [this](const auto& req, auto& res) {
    atender(res, [&] { agregarReglas(req, res); });
  });
  servidor.Delete("/_pruebas/fallos", [this](const auto&, auto& res) {
    std::lock_guard candado(candado_);
    reglas_.clear();
    responderOk(res);
  });
  servidor.Get("/_pruebas/registro", [this](const auto&, auto& res) {
    std::lock_guard candado(candado_);
    responderJson(res, {{"pedidos", pedidos_}});
  });
  servidor.Delete("/_pruebas/registro", [this](const auto&, auto& res) {
    std::lock_guard candado(candado_);
    pedidos_ = nlohmann::json::array();
    responderOk(res);
  });
  servidor.Post("/_pruebas/empresa", [this](const auto& req, auto& res) {
    atender(res, [&] { fijarEmpresa(req, res); });
  });
}

}  // namespace vemlo::servicio
