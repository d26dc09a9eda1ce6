// The lists that span a company: trash (with restore), search, recent files and
// favourites. Live folders are found once per request by walking down from the company
// root, which also gives each hit its path of names.
#include <algorithm>
#include <map>

#include "arbol.h"
#include "base.h"
#include "rutas.h"
#include "textos.h"

namespace vemlo::servicio {
namespace {

constexpr std::size_t maximoBusqueda = 200;
constexpr std::size_t maximoRecientes = 100;

// The company's live folders by id: parent and name.
struct Vivas {
  struct Paso {
    std::optional<std::string> padreId;
    std::string nombre;
  };
  std::map<std::string, Paso> carpetas;

  bool contiene(const std::string& id) const { return carpetas.contains(id); }
  // Names from the root down to `id`, both included.
  std::vector<std::string> ruta(const std::string& id) const {
    std::vector<std::string> nombres;
    for (auto pos = carpetas.find(id); pos != carpetas.end();) {
      nombres.push_back(pos->second.nombre);
      pos = pos->second.padreId ? carpetas.find(*pos->second.padreId) : carpetas.end();
    }
    std::ranges::reverse(nombres);
    return nombres;
  }
};

Vivas carpetasVivas(const Empresa& empresa) {
  Vivas vivas;
  Sentencia fila(R"sql(
WITH RECURSIVE vivas(id, padreId, nombre) AS (
  SELECT id, padreId, nombre FROM carpetas WHERE id=? AND borradaMs IS NULL
  UNION ALL
  SELECT c.id, c.padreId, c.nombre FROM carpetas c JOIN vivas v ON c.padreId = v.id
  WHERE c.borradaMs IS NULL)
SELECT id, padreId, nombre FROM vivas)sql",
                 empresa.raizId);
  while (fila.fila()) vivas.carpetas[fila.texto(0)] = {fila.textoNulo(1), fila.texto(2)};
  return vivas;
}

// The company of the query, checked against the user's memberships.
Empresa empresaDe(const httplib::Request& req, const std::string& usuario, std::string& rol) {
  const std::string id = parametro(req, "organizacionId");
  rol = rolExigido(usuario, id);
  auto empresa = leerEmpresa(id);
  if (!empresa) noExiste();
  return std::move(*empresa);
}

void listarPapelera(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  Transaccion lectura(false);
  std::string rol;
  const auto empresa = empresaDe(req, usuario, rol);
  std::vector<std::pair<std::int64_t, EnPapelera>> elementos;
  Sentencia carpetas(
      "SELECT id, nombre, borradaMs FROM carpetas WHERE organizacionId=? AND borradaMs IS NOT NULL",
      empresa.id);
  while (carpetas.fila())
    elementos.push_back(
        {carpetas.entero(2),
         {"carpeta", carpetas.texto(0), carpetas.texto(1), fechaIso(carpetas.entero(2))}});
  Sentencia archivos(
      "SELECT id, nombre, borradoMs FROM archivos WHERE organizacionId=? AND visible=1 "
      "AND borradoMs IS NOT NULL",
      empresa.id);
  while (archivos.fila())
    elementos.push_back(
        {archivos.entero(2),
         {"archivo", archivos.texto(0), archivos.texto(1), fechaIso(archivos.entero(2))}});
  std::ranges::sort(elementos, [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second.id < b.second.id;
  });
  auto lista = nlohmann::json::array();
  for (const auto& [momento, elemento] : elementos) lista.push_back(aJson(elemento));
  responderJson(res, {{"elementos", lista}});
}

void restaurar(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const auto cuerpo = cuerpoJson(req);
  const std::string organizacionId = texto(cuerpo, "organizacionId");
  const bool esCarpeta = texto(cuerpo, "tipo") == "carpeta";
  const std::string id = texto(cuerpo, "id");
  Transaccion transaccion;
  exigirEscritura(rolExigido(usuario, organizacionId));
  const auto empresa = leerEmpresa(organizacionId);
  std::string nombre, padreId;
  if (esCarpeta) {
    const auto carpeta = leerCarpeta(id);
    if (!carpeta || carpeta->organizacionId != organizacionId || !carpeta->borradaMs) noExiste();
    nombre = carpeta->nombre;
    padreId = carpeta->padreId.value_or(empresa->raizId);
  } else {
    const auto archivo = leerArchivo(id);
    if (!archivo || archivo->organizacionId != organizacionId || !archivo->borradoMs ||
        !archivo->visible)
      noExiste();
    nombre = archivo->nombre;
    padreId = archivo->carpetaId;
  }
  if (!carpetaViva(padreId)) padreId = empresa->raizId;
  if (nombreOcupado(padreId, nombre, id)) fallar(409, "repetido");
  Sentencia(esCarpeta ? "UPDATE carpetas SET borradaMs=NULL, padreId=? WHERE id=?"
                      : "UPDATE archivos SET borradoMs=NULL, carpetaId=? WHERE id=?",
            padreId, id)
      .ejecutar();
  transaccion.confirmar();
  responderOk(res);
}

void buscar(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const std::string buscado = plegar(parametro(req, "q"));
  Transaccion lectura(false);
  std::string rol;
  const auto empresa = empresaDe(req, usuario, rol);
  auto lista = nlohmann::json::array();
  if (buscado.empty()) {
    responderJson(res, {{"resultados", lista}});
    return;
  }
  const auto vivas = carpetasVivas(empresa);
  Sentencia carpetas(
      "SELECT id, padreId, nombre, creadaMs FROM carpetas WHERE organizacionId=? "
      "AND padreId IS NOT NULL AND instr(pliegue, ?) > 0 ORDER BY nombre",
      empresa.id, buscado);
  while (lista.size() < maximoBusqueda && carpetas.fila()) {
    if (!vivas.contiene(carpetas.texto(0))) continue;
    const std::string padreId = carpetas.texto(1);
    lista.push_back(
        aJson(ResultadoBusqueda{"carpeta", carpetas.texto(0), carpetas.texto(2), padreId,
                                vivas.ruta(padreId), std::nullopt, fechaIso(carpetas.entero(3))}));
  }
  Sentencia archivos(std::string("SELECT ") + columnasArchivo +
                         " FROM archivos WHERE organizacionId=? AND visible=1 AND borradoMs IS "
                         "NULL AND instr(pliegue, ?) > 0 ORDER BY nombre",
                     empresa.id, buscado);
  while (lista.size() < maximoBusqueda && archivos.fila()) {
    const auto archivo = archivoDeFila(archivos);
    if (!vivas.contiene(archivo.carpetaId)) continue;
    lista.push_back(aJson(ResultadoBusqueda{"archivo", archivo.id, archivo.nombre,
                                            archivo.carpetaId, vivas.ruta(archivo.carpetaId),
                                            archivo.tamano, fechaIso(archivo.actualizadoMs)}));
  }
  responderJson(res, {{"resultados", lista}});
}

void recientes(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const bool medios = req.has_param("medios") && req.get_param_value("medios") == "1";
  Transaccion lectura(false);
  std::string rol;
  const auto empresa = empresaDe(req, usuario, rol);
  const auto vivas = carpetasVivas(empresa);
  auto lista = nlohmann::json::array();
  Sentencia archivos(std::string("SELECT ") + columnasArchivo +
                         " FROM archivos WHERE organizacionId=? AND visible=1 AND borradoMs IS "
                         "NULL AND (?=0 OR tipo LIKE 'image/%' OR tipo LIKE 'video/%') "
                         "ORDER BY actualizadoMs DESC, id",
                     empresa.id, medios);
  while (lista.size() < maximoRecientes && archivos.fila()) {
    const auto archivo = archivoDeFila(archivos);
    if (vivas.contiene(archivo.carpetaId)) lista.push_back(aJson(aRemoto(archivo, true)));
  }
  responderJson(res, {{"archivos", lista}});
}

std::string tipoDe(const std::string& palabra) {
  return palabra == "carpeta" ? "carpeta" : "archivo";
}

void marcarFavorito(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const auto cuerpo = cuerpoJson(req);
  const std::string tipo = tipoDe(texto(cuerpo, "tipo"));
  const std::string id = texto(cuerpo, "id");
  Transaccion transaccion;
  std::string rol;
  if (tipo == "carpeta")
    carpetaVisible(usuario, id, rol);
  else
    archivoVisible(usuario, id, rol);
  Sentencia("INSERT OR IGNORE INTO favoritos(usuarioId, tipo, id) VALUES(?,?,?)", usuario, tipo, id)
      .ejecutar();
  transaccion.confirmar();
  responderOk(res);
}

void quitarFavorito(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  Sentencia("DELETE FROM favoritos WHERE usuarioId=? AND tipo=? AND id=?", usuario,
            tipoDe(req.matches[1]), std::string(req.matches[2]))
      .ejecutar();
  responderOk(res);
}

void listarFavoritos(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  Transaccion lectura(false);
  std::string rol;
  const auto empresa = empresaDe(req, usuario, rol);
  const auto vivas = carpetasVivas(empresa);
  std::vector<Favorito> carpetas, archivos;
  Sentencia favoritos("SELECT tipo, id FROM favoritos WHERE usuarioId=?", usuario);
  while (favoritos.fila()) {
    const std::string id = favoritos.texto(1);
    if (favoritos.texto(0) == "carpeta") {
      const auto carpeta = leerCarpeta(id);
      if (!carpeta || !vivas.contiene(id)) continue;
      carpetas.push_back({"carpeta", id, carpeta->nombre, carpeta->padreId.value_or(id),
                          std::nullopt, std::nullopt, fechaIso(carpeta->creadaMs), false});
      continue;
    }
    const auto archivo = leerArchivo(id);
    if (!archivo || !archivo->visible || archivo->borradoMs || !vivas.contiene(archivo->carpetaId))
      continue;
    archivos.push_back({"archivo", id, archivo->nombre, archivo->carpetaId, archivo->tamano,
                        archivo->tipo, fechaIso(archivo->actualizadoMs),
                        archivo->miniaturaId.has_value()});
  }
  auto lista = nlohmann::json::array();
  for (auto* grupo : {&carpetas, &archivos}) {
    std::ranges::sort(*grupo, [](const auto& a, const auto& b) {
      return a.nombre != b.nombre ? a.nombre < b.nombre : a.id < b.id;
    });
    for (const auto& favorito : *grupo) lista.push_back(aJson(favorito));
  }
  responderJson(res, {{"favoritos", lista}});
}

}  // namespace

void rutasListas(Rutas& rutas) {
  rutas.get("/v1/papelera", listarPapelera);
  rutas.post("/v1/papelera/restaurar", restaurar);
  rutas.get("/v1/buscar", buscar);
  rutas.get("/v1/recientes", recientes);
  rutas.get("/v1/favoritos", listarFavoritos);
  rutas.put("/v1/favoritos", marcarFavorito);
  rutas.borrar(R"(/v1/favoritos/([^/]+)/([^/]+))", quitarFavorito);
}

}  // namespace vemlo::servicio
