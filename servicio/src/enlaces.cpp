// Links that carry their own authority: seven-day (1 to 30) share links served at /s/TOKEN,
// fifteen-minute download links at /almacen/TOKEN, and thumbnails. Tokens are random and
// stored only as digests in `firmas`, each with its class, its object and its expiry.
#include "almacen.h"
#include "arbol.h"
#include "base.h"
#include "cripto.h"
#include "firmas.h"
#include "rutas.h"
#include "textos.h"

namespace vemlo::servicio {
namespace {

constexpr std::int64_t dia = 24 * 60 * 60 * 1000;
constexpr std::int64_t vidaDescarga = 15 * 60 * 1000;

void compartir(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const auto cuerpo = cuerpoJson(req);
  const bool esCarpeta = texto(cuerpo, "tipo") == "carpeta";
  const std::string id = texto(cuerpo, "id");
  const std::int64_t dias = entero(cuerpo, "dias");
  std::string rol;
  if (esCarpeta)
    carpetaVisible(usuario, id, rol);
  else
    archivoVisible(usuario, id, rol);
  if (dias < 1 || dias > 30) datosMal();
  const std::string token =
      firmar(esCarpeta ? "compartirCarpeta" : "compartirArchivo", id, 0, dias * dia);
  responderJson(res, {{"enlace", entorno().base + "/s/" + token}});
}

std::string escaparHtml(const std::string& texto) {
  std::string salida;
  for (const char c : texto) {
    switch (c) {
      case '<':
        salida += "&lt;";
        break;
      case '>':
        salida += "&gt;";
        break;
      case '&':
        salida += "&amp;";
        break;
      case '"':
        salida += "&quot;";
        break;
      default:
        salida.push_back(c);
    }
  }
  return salida;
}

void paginaCarpeta(const Carpeta& carpeta, httplib::Response& res) {
  std::string html = "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>" +
                     escaparHtml(carpeta.nombre) + "</title></head><body>\n<h1>" +
                     escaparHtml(carpeta.nombre) + "</h1>\n<ul>\n";
  Sentencia carpetas(
      "SELECT nombre FROM carpetas WHERE padreId=? AND borradaMs IS NULL ORDER BY nombre",
      carpeta.id);
  while (carpetas.fila()) html += "<li>" + escaparHtml(carpetas.texto(0)) + "/</li>\n";
  Sentencia archivos(
      "SELECT nombre, tamano FROM archivos WHERE carpetaId=? AND visible=1 AND borradoMs IS NULL "
      "ORDER BY nombre",
      carpeta.id);
  while (archivos.fila())
    html += "<li>" + escaparHtml(archivos.texto(0)) + " (" + std::to_string(archivos.entero(1)) +
            " bytes)</li>\n";
  html += "</ul>\n</body></html>\n";
  res.set_content(html, "text/html; charset=utf-8");
}

void noHayEnlace(httplib::Response& res) {
  res.status = 404;
  res.set_content("Este enlace no existe o ya venció.\n", "text/plain; charset=utf-8");
}

void servirArchivo(const httplib::Request& req, httplib::Response& res, const Archivo& archivo) {
  if (!archivo.blobId) {
    res.set_content("", archivo.tipo);
    return;
  }
  servirBlob(req, res, *archivo.blobId, archivo.tipo);
}

void abrirCompartido(const httplib::Request& req, httplib::Response& res) {
  const auto firma = leerFirma(req.matches[1]);
  if (!firma || firma->clase.rfind("compartir", 0) != 0) return noHayEnlace(res);
  if (firma->clase == "compartirCarpeta") {
    const auto carpeta = leerCarpeta(firma->objetoId);
    if (!carpeta || !carpetaViva(carpeta->id)) return noHayEnlace(res);
    return paginaCarpeta(*carpeta, res);
  }
  const auto archivo = leerArchivo(firma->objetoId);
  if (!archivo || !archivoVivo(*archivo)) return noHayEnlace(res);
  servirArchivo(req, res, *archivo);
}

void enlaceDescarga(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  const std::string id = texto(cuerpoJson(req), "archivoId");
  std::string rol;
  archivoVisible(usuario, id, rol);
  responderJson(res, {{"url", "/almacen/" + firmar("bajar", id, 0, vidaDescarga)}});
}

void descargar(const httplib::Request& req, httplib::Response& res) {
  const auto firma = leerFirma(req.matches[1]);
  if (!firma || firma->clase != "bajar") sinPermiso();
  const auto archivo = leerArchivo(firma->objetoId);
  if (!archivo || !archivoVivo(*archivo)) noExiste();
  servirArchivo(req, res, *archivo);
}

void miniatura(const httplib::Request& req, httplib::Response& res) {
  const std::string usuario = usuarioDeSesion(req);
  std::string rol;
  const auto archivo = archivoVisible(usuario, req.matches[1], rol);
  if (!archivo.miniaturaId) noExiste();
  servirBlob(req, res, *archivo.miniaturaId, "image/jpeg");
}

}  // namespace

void rutasEnlaces(Rutas& rutas) {
  rutas.post("/v1/compartir", compartir);
  rutas.get("/s/([^/]+)", abrirCompartido);
  rutas.post("/v1/descargas", enlaceDescarga);
  rutas.get("/almacen/([^/]+)", descargar);
  rutas.get("/v1/archivos/([^/]+)/miniatura", miniatura);
}

}  // namespace vemlo::servicio
