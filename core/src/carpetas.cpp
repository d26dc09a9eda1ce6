// The folder and file operations of the service client, and the raw transfer steps that the
// upload engine is built on.
#include "url.h"
#include "vemlo/cliente.h"

namespace vemlo {
namespace {

std::string enRuta(Clase clase) {
  return clase == Clase::carpeta ? "carpetas" : "archivos";
}

// The pieces of a path, one after the other.
template <class... Trozos>
std::string ruta(const Trozos&... trozos) {
  std::string texto;
  (texto.append(std::string_view(trozos)), ...);
  return texto;
}

}  // namespace

VistaCarpeta Vemlo::verCarpeta(std::string_view id, std::stop_token parar) const {
  return llamar<VistaCarpeta>("GET", ruta("/v1/carpetas/", id), std::nullopt, std::move(parar));
}

std::string Vemlo::crearCarpeta(std::string_view padreId, std::string_view nombre,
                                std::stop_token parar) const {
  const nlohmann::json cuerpo{{"padreId", padreId}, {"nombre", nombre}};
  return llamar<RId>("POST", "/v1/carpetas", cuerpo, std::move(parar)).valor;
}

void Vemlo::renombrar(Clase clase, std::string_view id, std::string_view nombre,
                      std::stop_token parar) const {
  const nlohmann::json cuerpo{{"nombre", nombre}};
  llamar<Ok>("PATCH", ruta("/v1/", enRuta(clase), "/", id), cuerpo, std::move(parar));
}

void Vemlo::mover(Clase clase, std::string_view id, std::string_view destinoId,
                  std::stop_token parar) const {
  const nlohmann::json cuerpo{{"destinoId", destinoId}};
  llamar<Ok>("POST", ruta("/v1/", enRuta(clase), "/", id, "/mover"), cuerpo, std::move(parar));
}

void Vemlo::aPapelera(Clase clase, std::string_view id, std::stop_token parar) const {
  llamar<Ok>("POST", ruta("/v1/", enRuta(clase), "/", id, "/papelera"), std::nullopt,
             std::move(parar));
}

std::vector<EnPapelera> Vemlo::listarPapelera(std::string_view organizacionId,
                                              std::stop_token parar) const {
  const auto camino = ruta("/v1/papelera?organizacionId=", codificarConsulta(organizacionId));
  return llamar<RElementos>("GET", camino, std::nullopt, std::move(parar)).valor;
}

void Vemlo::restaurar(std::string_view organizacionId, std::string_view tipo, std::string_view id,
                      std::stop_token parar) const {
  const nlohmann::json cuerpo{{"organizacionId", organizacionId}, {"tipo", tipo}, {"id", id}};
  llamar<Ok>("POST", "/v1/papelera/restaurar", cuerpo, std::move(parar));
}

std::vector<ResultadoBusqueda> Vemlo::buscar(std::string_view organizacionId,
                                             std::string_view texto, std::stop_token parar) const {
  const auto camino = ruta("/v1/buscar?organizacionId=", codificarConsulta(organizacionId),
                           "&q=", codificarConsulta(texto));
  return llamar<RResultados>("GET", camino, std::nullopt, std::move(parar)).valor;
}

std::vector<ArchivoRemoto> Vemlo::recientes(std::string_view organizacionId, bool medios,
                                            std::stop_token parar) const {
  const auto camino = ruta("/v1/recientes?organizacionId=", codificarConsulta(organizacionId),
                           medios ? "&medios=1" : "");
  return llamar<RArchivos>("GET", camino, std::nullopt, std::move(parar)).valor;
}

std::vector<Favorito> Vemlo::listarFavoritos(std::string_view organizacionId,
                                             std::stop_token parar) const {
  const auto camino = ruta("/v1/favoritos?organizacionId=", codificarConsulta(organizacionId));
  return llamar<RFavoritos>("GET", camino, std::nullopt, std::move(parar)).valor;
}

void Vemlo::marcarFavorito(std::string_view tipo, std::string_view id,
                           std::stop_token parar) const {
  const nlohmann::json cuerpo{{"tipo", tipo}, {"id", id}};
  llamar<Ok>("PUT", "/v1/favoritos", cuerpo, std::move(parar));
}

void Vemlo::quitarFavorito(std::string_view tipo, std::string_view id,
                           std::stop_token parar) const {
  const auto camino = ruta("/v1/favoritos/", tipo, "/", codificarConsulta(id));
  llamar<Ok>("DELETE", camino, std::nullopt, std::move(parar));
}

std::string Vemlo::compartir(std::string_view tipo, std::string_view id, int dias,
                             std::stop_token parar) const {
  const nlohmann::json cuerpo{{"tipo", tipo}, {"id", id}, {"dias", dias}};
  return llamar<REnlace>("POST", "/v1/compartir", cuerpo, std::move(parar)).valor;
}

std::string Vemlo::enlaceDescarga(std::string_view archivoId, std::stop_token parar) const {
  const nlohmann::json cuerpo{{"archivoId", archivoId}};
  const auto enlace = llamar<Enlace>("POST", "/v1/descargas", cuerpo, std::move(parar));
  auto url = resolverUrl(base_, enlace.url);
  if (!url) throw ErrorVemlo::formato("enlace");
  return std::move(*url);
}

std::string Vemlo::traerMiniatura(std::string_view archivoId, std::stop_token parar) const {
  const auto pedido = armarPedido("GET", ruta("/v1/archivos/", archivoId, "/miniatura"));
  auto respuesta = transporte_->enviar(pedido, std::nullopt, std::move(parar));
  if (respuesta.estado >= 300) throw ErrorVemlo::api(respuesta.estado, "noExiste");
  return std::move(respuesta.cuerpo);
}

std::optional<std::string> Vemlo::subirDirecto(std::string_view url, std::string_view datos,
                                               const std::optional<std::string>& tipo,
                                               std::stop_token parar) const {
  auto absoluta = urlAbsoluta(url);
  if (!absoluta) throw ErrorVemlo::formato("enlace");
  Pedido pedido{"PUT", std::move(*absoluta), {}, std::chrono::seconds(60)};
  if (tipo) pedido.poner("Content-Type", *tipo);
  const auto respuesta = transporte_->enviar(pedido, datos, std::move(parar));
  if (respuesta.estado >= 300) throw ErrorVemlo::api(respuesta.estado, "noLlego");
  return respuesta.cabecera("ETag");
}

std::string Vemlo::subirParte(std::string_view subidaId, std::int64_t n, std::string_view datos,
                              std::stop_token parar) const {
  auto pedido = armarPedido("PUT", ruta("/v1/subidas/", subidaId, "/partes/", std::to_string(n)));
  pedido.poner("Content-Type", "application/octet-stream");
  return decodificar<REtag>(transporte_->enviar(pedido, datos, std::move(parar))).valor;
}

void Vemlo::confirmarSubida(std::string_view subidaId, const std::vector<ParteSubida>& partes,
                            std::stop_token parar) const {
  std::optional<nlohmann::json> cuerpo;
  if (!partes.empty()) {
    auto lista = nlohmann::json::array();
    for (const auto& parte : partes) lista.push_back({{"n", parte.n}, {"etag", parte.etag}});
    cuerpo = nlohmann::json{{"partes", std::move(lista)}};
  }
  llamar<Ok>("POST", ruta("/v1/subidas/", subidaId, "/confirmar"), cuerpo, std::move(parar));
}

}  // namespace vemlo
