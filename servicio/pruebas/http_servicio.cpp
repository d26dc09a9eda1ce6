// Plain HTTP calls to a running vemlo-servicio, for the contract tests and for later suites
// that need a live service set up in a given way.
#include "http_servicio.h"

#include <algorithm>
#include <random>
#include <stdexcept>

#include "servicio_en_marcha.h"

namespace vemlo::pruebas {
namespace {

httplib::Client clienteDe(const std::string& base) {
  httplib::Client cliente(base);
  cliente.set_url_encode(false);
  cliente.set_keep_alive(false);
  cliente.set_connection_timeout(10);
  cliente.set_read_timeout(60);
  cliente.set_write_timeout(60);
  return cliente;
}

// "http://127.0.0.1:PORT" of an absolute URL, or "" when it is a path.
std::string origenDe(const std::string& url) {
  const auto esquema = url.find("://");
  if (esquema == std::string::npos) return {};
  const auto barra = url.find('/', esquema + 3);
  return barra == std::string::npos ? url : url.substr(0, barra);
}

Contestacion mandar(const std::string& base, const std::string& metodo, const std::string& ruta,
                    const std::optional<std::string>& cuerpo, const httplib::Headers& cabeceras) {
  auto cliente = clienteDe(base);
  httplib::Request pedido;
  pedido.method = metodo;
  pedido.path = ruta;
  pedido.headers = cabeceras;
  if (cuerpo) pedido.body = *cuerpo;
  auto resultado = cliente.send(pedido);
  // Without an answer the body says why (the client's error), for failure messages.
  if (!resultado) return {0, httplib::to_string(resultado.error()), {}};
  return {resultado->status, resultado->body, resultado->headers};
}

}  // namespace

nlohmann::json Contestacion::json() const {
  return nlohmann::json::parse(cuerpo, nullptr, false);
}

std::string Contestacion::error() const {
  const auto j = json();
  if (!j.is_object() || !j.contains("error") || !j["error"].is_string()) return {};
  return j["error"].get<std::string>();
}

std::optional<std::string> Contestacion::cabecera(const std::string& nombre) const {
  const auto pos = cabeceras.find(nombre);
  if (pos == cabeceras.end()) return std::nullopt;
  return pos->second;
}

std::string Contestacion::resumen() const {
  if (estado == 0) return "(sin respuesta: " + cuerpo + ")";
  return std::to_string(estado) + " " + cuerpo.substr(0, 300);
}

ClienteHttp::ClienteHttp(std::string base, std::string token)
    : base_(std::move(base)), token_(std::move(token)) {}

Contestacion ClienteHttp::enviar(const std::string& metodo, const std::string& ruta,
                                 const std::optional<std::string>& cuerpo, const std::string& tipo,
                                 const httplib::Headers& extra) const {
  httplib::Headers cabeceras = extra;
  if (!token_.empty()) cabeceras.emplace("Authorization", "Bearer " + token_);
  if (cuerpo && !tipo.empty()) cabeceras.emplace("Content-Type", tipo);
  return mandar(base_, metodo, ruta, cuerpo, cabeceras);
}

Contestacion ClienteHttp::get(const std::string& ruta, const httplib::Headers& extra) const {
  return enviar("GET", ruta, std::nullopt, "", extra);
}
Contestacion ClienteHttp::post(const std::string& ruta, const nlohmann::json& cuerpo) const {
  return enviar("POST", ruta, cuerpo.dump());
}
Contestacion ClienteHttp::put(const std::string& ruta, const nlohmann::json& cuerpo) const {
  return enviar("PUT", ruta, cuerpo.dump());
}
Contestacion ClienteHttp::patch(const std::string& ruta, const nlohmann::json& cuerpo) const {
  return enviar("PATCH", ruta, cuerpo.dump());
}
Contestacion ClienteHttp::del(const std::string& ruta, const nlohmann::json& cuerpo) const {
  return enviar("DELETE", ruta, cuerpo.dump());
}

const Contestacion& ClienteHttp::exigir(const Contestacion& c, const std::string& pedido) {
  if (c.estado < 200 || c.estado >= 300) throw std::runtime_error(pedido + " → " + c.resumen());
  return c;
}

Contestacion enviarA(const std::string& url, const std::string& metodo,
                     const std::optional<std::string>& cuerpo, const httplib::Headers& extra) {
  return mandar(origenDe(url), metodo, rutaDe(url), cuerpo, extra);
}

std::string rutaDe(const std::string& url) {
  const auto origen = origenDe(url);
  if (origen.empty()) return url;
  const auto ruta = url.substr(origen.size());
  return ruta.empty() ? "/" : ruta;
}

std::string codificar(const std::string& texto) {
  static const char* hex = "0123456789ABCDEF";
  std::string resultado;
  for (unsigned char c : texto) {
    if (std::isalnum(c) && c < 0x80) {
      resultado.push_back(static_cast<char>(c));
    } else {
      resultado.push_back('%');
      resultado.push_back(hex[c >> 4]);
      resultado.push_back(hex[c & 0x0f]);
    }
  }
  return resultado;
}

std::string bytesDePrueba(std::size_t tamano, std::uint32_t semilla) {
  std::mt19937 generador(semilla);
  std::string bytes(tamano, '\0');
  for (auto& b : bytes) b = static_cast<char>(generador() & 0xff);
  return bytes;
}

Cuenta entrar(const std::string& base, const std::string& correo, const std::string& clave) {
  const ClienteHttp cliente(base);
  const auto c = cliente.post("/v1/sesiones", {{"correo", correo}, {"clave", clave}});
  ClienteHttp::exigir(c, "POST /v1/sesiones " + correo);
  auto cuenta = desdeJson<Cuenta>(c.json());
  if (!cuenta.token) throw std::runtime_error("sin token al entrar: " + c.cuerpo);
  return cuenta;
}

Cuenta entrarConMfa(const ServicioEnMarcha& servicio) {
  const ClienteHttp cliente(servicio.base());
  const auto reto = cliente.post("/v1/sesiones", {{"correo", correoMfa}, {"clave", claveDemo}});
  ClienteHttp::exigir(reto, "POST /v1/sesiones mfa");
  const auto desafio = reto.json().value("desafio", std::string());
  const auto c =
      cliente.post("/v1/sesiones/mfa", {{"desafio", desafio}, {"codigo", servicio.totpAhora()}});
  ClienteHttp::exigir(c, "POST /v1/sesiones/mfa");
  auto cuenta = desdeJson<Cuenta>(c.json());
  if (!cuenta.token) throw std::runtime_error("sin token tras el código: " + c.cuerpo);
  return cuenta;
}

nlohmann::json mandarPartes(const ClienteHttp& cliente, const PedidoSubida& subida,
                            const std::string& bytes) {
  const auto& partes = *subida.partes;
  auto lista = nlohmann::json::array();
  for (std::int64_t n = 1; n <= partes.total; ++n) {
    const auto desde = static_cast<std::size_t>((n - 1) * partes.tamanoParte);
    const auto trozo = desde < bytes.size()
                           ? bytes.substr(desde, static_cast<std::size_t>(partes.tamanoParte))
                           : std::string();
    const auto rutaParte = "/v1/subidas/" + *subida.versionId + "/partes/" + std::to_string(n);
    std::string etag;
    if (partes.directo.value_or(false)) {
      const auto firma = ClienteHttp::exigir(cliente.post(rutaParte + "/firmar"), rutaParte);
      const auto url = desdeJson<Enlace>(firma.json()).url;
      const auto c = enviarA(url, "PUT", trozo);
      if (c.estado != 200) throw std::runtime_error("PUT parte firmada → " + c.resumen());
      etag = c.cabecera("ETag").value_or("");
    } else {
      const auto c = cliente.enviar("PUT", rutaParte, trozo, "application/octet-stream");
      etag = desdeJson<REtag>(ClienteHttp::exigir(c, "PUT " + rutaParte).json()).valor;
    }
    lista.push_back({{"n", n}, {"etag", etag}});
  }
  return lista;
}

std::string subir(const ClienteHttp& cliente, const std::string& carpetaId,
                  const std::string& nombre, const std::string& bytes, const std::string& tipo) {
  const nlohmann::json pedido{
      {"carpetaId", carpetaId}, {"nombre", nombre}, {"tamanoBytes", bytes.size()}, {"tipo", tipo}};
  const auto c = ClienteHttp::exigir(cliente.post("/v1/subidas", pedido), "POST /v1/subidas");
  const auto subida = desdeJson<PedidoSubida>(c.json());
  if (!subida.versionId) return subida.archivoId;
  const auto& version = *subida.versionId;
  std::string confirmacion = "{}";
  if (subida.url) {
    ClienteHttp::exigir(enviarA(*subida.url, "PUT", bytes, {{"Content-Type", tipo}}),
                        "PUT firmado");
  } else if (subida.partes) {
    confirmacion = nlohmann::json{{"partes", mandarPartes(cliente, subida, bytes)}}.dump();
  } else {
    throw std::runtime_error("subida sin url ni partes: " + c.cuerpo);
  }
  const auto ruta = "/v1/subidas/" + version + "/confirmar";
  ClienteHttp::exigir(cliente.enviar("POST", ruta, confirmacion), "POST " + ruta);
  return subida.archivoId;
}

std::string descargar(const ClienteHttp& cliente, const std::string& archivoId) {
  const auto c = ClienteHttp::exigir(cliente.post("/v1/descargas", {{"archivoId", archivoId}}),
                                     "POST /v1/descargas");
  const auto url = desdeJson<Enlace>(c.json()).url;
  return ClienteHttp::exigir(ClienteHttp(cliente.base()).get(url), "GET " + url).cuerpo;
}

std::string idCarpeta(const VistaCarpeta& vista, const std::string& nombre) {
  for (const auto& c : vista.carpetas)
    if (c.nombre == nombre) return c.id;
  throw std::runtime_error("no hay carpeta «" + nombre + "» en " + vista.id);
}

const ArchivoRemoto& archivo(const VistaCarpeta& vista, const std::string& nombre) {
  for (const auto& a : vista.archivos)
    if (a.nombre == nombre) return a;
  throw std::runtime_error("no hay archivo «" + nombre + "» en " + vista.id);
}

std::string idArchivo(const VistaCarpeta& vista, const std::string& nombre) {
  return archivo(vista, nombre).id;
}

void ponerFallos(const std::string& base, const nlohmann::json& reglas) {
  ClienteHttp::exigir(ClienteHttp(base).post("/_pruebas/fallos", reglas), "POST /_pruebas/fallos");
}
void quitarFallos(const std::string& base) {
  ClienteHttp::exigir(ClienteHttp(base).del("/_pruebas/fallos"), "DELETE /_pruebas/fallos");
}
nlohmann::json registro(const std::string& base) {
  return ClienteHttp::exigir(ClienteHttp(base).get("/_pruebas/registro"), "GET /_pruebas/registro")
      .json();
}
std::size_t pedidos(const std::string& base, const std::string& metodo, const std::string& ruta) {
  std::size_t n = 0;
  const auto todo = registro(base);  // kept: the loop walks into it
  for (const auto& p : todo.at("pedidos"))
    n += p.at("metodo") == metodo && p.at("ruta").get<std::string>().starts_with(ruta);
  return n;
}
void borrarRegistro(const std::string& base) {
  ClienteHttp::exigir(ClienteHttp(base).del("/_pruebas/registro"), "DELETE /_pruebas/registro");
}
void ajustarEmpresa(const std::string& base, const nlohmann::json& cambios) {
  ClienteHttp::exigir(ClienteHttp(base).post("/_pruebas/empresa", cambios),
                      "POST /_pruebas/empresa");
}

}  // namespace vemlo::pruebas
