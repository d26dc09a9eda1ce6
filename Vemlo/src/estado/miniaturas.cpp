// Thumbnails from the service or made here, and their cache.
#include "miniaturas.h"

#include "vemlo/error.h"
#include "vemlo/miniaturas.h"

namespace vemlo::app {
namespace {

QImage imagenDe(const std::optional<std::string>& bytes) {
  if (!bytes) return {};
  return QImage::fromData(reinterpret_cast<const uchar*>(bytes->data()),
                          static_cast<int>(bytes->size()));
}

// The whole picture in memory, from its download link.
std::optional<std::string> bytesDe(const Vemlo& api, const std::string& enlace,
                                   const std::stop_token& parar) {
  const auto respuesta =
      api.transporte().enviar({"GET", enlace, {}, std::chrono::seconds(60)}, std::nullopt, parar);
  if (respuesta.estado >= 300) return std::nullopt;
  return respuesta.cuerpo;
}

// Made here: a picture from its bytes, a video from its address, one gate slot each.
QImage generada(const Vemlo& api, const ArchivoRemoto& archivo, Turnos& turnos,
                const std::stop_token& parar) {
  const bool video = archivo.tipo.starts_with("video/");
  const bool imagen = archivo.tipo.starts_with("image/") && archivo.tamanoBytes <= kMayorImagen;
  if (!video && !imagen) return {};
  turnos.pedir(parar);
  struct Soltar {
    Turnos& t;
    ~Soltar() { t.soltar(); }
  } soltar{turnos};
  const auto enlace = api.enlaceDescarga(archivo.id, parar);
  if (video) return imagenDe(miniaturaDeVideo(enlace));
  const auto bytes = bytesDe(api, enlace, parar);
  return bytes ? imagenDe(miniaturaDeImagen(*bytes)) : QImage();
}

}  // namespace

std::optional<QImage> CacheDeMiniaturas::buscar(const std::string& id) const {
  const auto* imagen = imagenes_.object(QString::fromStdString(id));
  if (!imagen) return std::nullopt;
  return *imagen;
}

void CacheDeMiniaturas::guardar(const std::string& id, const QImage& imagen) {
  imagenes_.insert(QString::fromStdString(id), new QImage(imagen),
                   std::max<qsizetype>(1, imagen.sizeInBytes()));
}

QImage miniaturaDe(const Vemlo& api, const ArchivoRemoto& archivo, Turnos& turnos,
                   std::stop_token parar) {
  try {
    if (archivo.miniatura.value_or(false)) {
      auto imagen = imagenDe(api.traerMiniatura(archivo.id, parar));
      if (!imagen.isNull()) return imagen;
    }
    return generada(api, archivo, turnos, parar);
  } catch (const std::exception&) {
    if (parar.stop_requested()) throw ErrorVemlo::cancelado();
    return {};  // the view keeps the item's symbol
  }
}

}  // namespace vemlo::app
