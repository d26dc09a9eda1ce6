// Folder views and the changes to single items: create a folder, rename, move and send to
// the trash. Every change runs in one write transaction, so checks and writes see the same
// tree.
#include "arbol.h"
#include "base.h"
#include "cripto.h"
#include "rutas.h"
#include "textos.h"

namespace vemlo::servicio {
namespace {

VistaCarpeta vistaDe(const Carpeta& carpeta, const std::string& rol) {
  VistaCarpeta vista{carpeta.id, carpeta.organizacionId, rol, {}, {}, {}};
  for (const auto& paso : cadena(carpeta.id))
    vista.ruta.push_back({paso.id, paso.nombre, !paso.padreId.has_value()});
  Sentencia carpetas(
      "SELECT id, nombre, creadaMs FROM carpetas WHERE padreId=? AND borradaMs IS NULL "
      "ORDER BY nombre",
      carpeta.id);
  while (carpetas.fila())
    vista.carpetas.push_back({carpetas.texto(0), carpetas.texto(1), fechaIso(carpetas.entero(2))});
  Sentencia archivos(std::string("SELECT ") + columnasArchivo +
                         " FROM archivos WHERE carpetaId=? AND visible=1 AND borradoMs IS NULL "
                         "ORDER BY nombre",
                     carpeta.id);
  while (archivos.fila()) vista.archivos.push_back(aRemoto(archivoDeFila(archivos), false));
  return vista;
}

void verCarpeta(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  Transaccion lectura(false);
  std::string rol;
  const auto carpeta = carpetaVisible(usuario, req.matches[1], rol);
  responderJson(res, aJson(vistaDe(carpeta, rol)));
}

void crearCarpeta(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const auto cuerpo = cuerpoJson(req);
  const std::string padreId = texto(cuerpo, "padreId");
  const std::string nombre = texto(cuerpo, "nombre");
  Transaccion transaccion;
  std::string rol;
  const auto padre = carpetaVisible(usuario, padreId, rol);
  exigirEscritura(rol);
  if (!nombreValido(nombre)) datosMal();
  if (nombreOcupado(padre.id, nombre)) fallar(409, "repetido");
  const std::string id = nuevoId();
  Sentencia(
      "INSERT INTO carpetas(id, organizacionId, padreId, nombre, pliegue, creadaMs) "
      "VALUES(?,?,?,?,?,?)",
      id, padre.organizacionId, padre.id, nombre, plegar(nombre), ahoraMs())
      .ejecutar();
  transaccion.confirmar();
  responderJson(res, {{"id", id}});
}

// The item addressed by the path: its company, its folder (parent) and whether it is a root.
struct Elemento {
  std::string organizacionId;
  std::optional<std::string> padreId;
  std::string rol;
};

Elemento elementoVisible(const std::string& usuario, bool esCarpeta, const std::string& id) {
  Elemento elemento;
  if (esCarpeta) {
    const auto carpeta = carpetaVisible(usuario, id, elemento.rol);
    elemento.organizacionId = carpeta.organizacionId;
    elemento.padreId = carpeta.padreId;
  } else {
    const auto archivo = archivoVisible(usuario, id, elemento.rol);
    elemento.organizacionId = archivo.organizacionId;
    elemento.padreId = archivo.carpetaId;
  }
  exigirEscritura(elemento.rol);
  if (!elemento.padreId) sinPermiso();  // a company root stays where and as it is
  return elemento;
}

const char* tabla(bool esCarpeta) {
  return esCarpeta ? "carpetas" : "archivos";
}

void renombrar(bool esCarpeta, const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const std::string nombre = texto(cuerpoJson(req), "nombre");
  const std::string id = req.matches[1];
  Transaccion transaccion;
  const auto elemento = elementoVisible(usuario, esCarpeta, id);
  if (!nombreValido(nombre)) datosMal();
  if (nombreOcupado(*elemento.padreId, nombre, id)) fallar(409, "repetido");
  Sentencia(std::string("UPDATE ") + tabla(esCarpeta) + " SET nombre=?, pliegue=? WHERE id=?",
            nombre, plegar(nombre), id)
      .ejecutar();
  transaccion.confirmar();
  responderOk(res);
}

std::string nombreDe(bool esCarpeta, const std::string& id) {
  Sentencia fila(std::string("SELECT nombre FROM ") + tabla(esCarpeta) + " WHERE id=?", id);
  return fila.fila() ? fila.texto(0) : std::string();
}

void mover(bool esCarpeta, const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const std::string destinoId = texto(cuerpoJson(req), "destinoId");
  const std::string id = req.matches[1];
  Transaccion transaccion;
  const auto elemento = elementoVisible(usuario, esCarpeta, id);
  std::string rolDestino;
  const auto destino = carpetaVisible(usuario, destinoId, rolDestino);
  exigirEscritura(rolDestino);
  if (destino.organizacionId != elemento.organizacionId) datosMal();
  if (esCarpeta)
    for (const auto& paso : cadena(destino.id))
      if (paso.id == id) fallar(409, "ciclo");
  if (destino.id == *elemento.padreId) {
    responderOk(res);
    return;
  }
  if (nombreOcupado(destino.id, nombreDe(esCarpeta, id), id)) fallar(409, "repetido");
  Sentencia(std::string("UPDATE ") + tabla(esCarpeta) + " SET " +
                (esCarpeta ? "padreId" : "carpetaId") + "=? WHERE id=?",
            destino.id, id)
      .ejecutar();
  transaccion.confirmar();
  responderOk(res);
}

void aPapelera(bool esCarpeta, const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const std::string id = req.matches[1];
  Transaccion transaccion;
  elementoVisible(usuario, esCarpeta, id);
  Sentencia(std::string("UPDATE ") + tabla(esCarpeta) + " SET " +
                (esCarpeta ? "borradaMs" : "borradoMs") + "=? WHERE id=?",
            ahoraMs(), id)
      .ejecutar();
  transaccion.confirmar();
  responderOk(res);
}

}  // namespace

void rutasCarpetas(Rutas& rutas) {
  rutas.get(R"(/v1/carpetas/([^/]+))", verCarpeta);
  rutas.post("/v1/carpetas", crearCarpeta);
  for (const bool esCarpeta : {true, false}) {
    const std::string prefijo = esCarpeta ? "/v1/carpetas/" : "/v1/archivos/";
    rutas.patch(prefijo + "([^/]+)",
                [esCarpeta](const auto& req, auto& res) { renombrar(esCarpeta, req, res); });
    rutas.post(prefijo + "([^/]+)/mover",
               [esCarpeta](const auto& req, auto& res) { mover(esCarpeta, req, res); });
    rutas.post(prefijo + "([^/]+)/papelera",
               [esCarpeta](const auto& req, auto& res) { aPapelera(esCarpeta, req, res); });
  }
}

}  // namespace vemlo::servicio
