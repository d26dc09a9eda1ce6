// Files from the service to this computer: previews, opening with the desktop's application,
// saving, and the player's link. Each fetch runs off the GUI thread; failures go to mostrar.
#include "abiertos.h"
#include "escritorio.h"
#include "estado.h"
#include "textos.h"
#include "vemlo/error.h"

namespace vemlo::app {
namespace {

QUrl urlDe(const std::filesystem::path& ruta) {
  return QUrl::fromLocalFile(QString::fromStdString(ruta.string()));
}

}  // namespace

void Estado::previsualizar(const ArchivoRemoto& archivo) {
  if (!api_) return;
  ponerAbriendo(QString::fromStdString(archivo.nombre));
  enSesion([api = api_, archivo,
            parar = parar_.get_token()] { return copiaLocal(*api, archivo, parar); },
           [this](Resultado<std::filesystem::path> r) {
             if (r.valor) {
               vistaPrevia_ = urlDe(*r.valor);
               emit vistaPreviaCambio();
             }
             ponerAbriendo(std::nullopt);
             if (r.fallo) mostrar(r.fallo);
           });
}

void Estado::abrirConApp(const ArchivoRemoto& archivo) {
  if (!api_) return;
  enSesion([api = api_, archivo,
            parar = parar_.get_token()] { return copiaLocal(*api, archivo, parar); },
           [this](Resultado<std::filesystem::path> r) {
             if (r.fallo) return mostrar(r.fallo);
             if (!abrir(urlDe(*r.valor)))
               ponerAviso(texto("No application could open this file.",
                                "Ninguna aplicación pudo abrir este archivo."));
           });
}

void Estado::descargar(const ArchivoRemoto& archivo, const std::filesystem::path& destino) {
  if (!api_) return;
  enSesion([api = api_, id = archivo.id, destino,
            parar = parar_.get_token()] { bajar(*api, id, destino, parar); },
           [this, destino](Resultado<Hecho> r) {
             if (r.fallo) return mostrar(r.fallo);
             mostrarEnGestor(this, urlDe(destino),
                             [this](const QUrl& carpeta) { return abrir(carpeta); });
           });
}

void Estado::reproducir(const ArchivoRemoto& archivo) {
  if (!api_) return;
  enSesion([api = api_, id = archivo.id,
            parar = parar_.get_token()] { return api->enlaceDescarga(id, parar); },
           [this, nombre = QString::fromStdString(archivo.nombre)](Resultado<std::string> r) {
             if (r.fallo) return mostrar(r.fallo);
             reproduccion_ =
                 Reproduccion{QUuid::createUuid(), nombre, QUrl(QString::fromStdString(*r.valor))};
             emit reproduccionCambio();
           });
}

void Estado::cargarMiniatura(const ArchivoRemoto& archivo, QObject* dueno,
                             std::function<void(const QImage&)> listo, std::stop_token vigencia) {
  if (!api_) return;
  if (const auto guardada = miniaturas_.buscar(archivo.id)) return listo(*guardada);
  lanzar(
      imagenes_, dueno,
      [api = api_, archivo, &turnos = turnos_, parar = parar_.get_token(), vigencia] {
        if (vigencia.stop_requested()) throw ErrorVemlo::cancelado();
        return miniaturaDe(*api, archivo, turnos, parar);
      },
      [this, id = archivo.id, listo = std::move(listo)](Resultado<QImage> r) {
        if (!r.valor) return;  // cancelled: the session ended
        if (!r.valor->isNull()) miniaturas_.guardar(id, *r.valor);
        listo(*r.valor);
      });
}

void Estado::cerrarVistaPrevia() {
  vistaPrevia_.reset();
  emit vistaPreviaCambio();
}

void Estado::cerrarReproduccion() {
  reproduccion_.reset();
  emit reproduccionCambio();
}

void Estado::ponerAbriendo(std::optional<QString> nombre) {
  abriendo_ = std::move(nombre);
  emit abriendoCambio();
}

}  // namespace vemlo::app
