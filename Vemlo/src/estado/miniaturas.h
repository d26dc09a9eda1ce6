// Thumbnails for the item views: the service's own when it keeps one, else one made here from
// the file (pictures up to 40,000,000 bytes, videos at one second), at most three at a time.
// The images stay in a cache bounded by their size; the cache is read and written on the GUI
// thread only.
#pragma once

#include <QCache>
#include <QImage>
#include <QString>

#include <cstddef>
#include <optional>
#include <stop_token>

#include "vemlo/cliente.h"
#include "vemlo/registros.h"
#include "vemlo/turnos.h"

namespace vemlo::app {

// The largest picture whose thumbnail is made here.
inline constexpr std::int64_t kMayorImagen = 40'000'000;

class CacheDeMiniaturas {
 public:
  explicit CacheDeMiniaturas(std::size_t bytes = 64u << 20)
      : imagenes_(static_cast<qsizetype>(bytes)) {}
  std::optional<QImage> buscar(const std::string& id) const;
  void guardar(const std::string& id, const QImage& imagen);

 private:
  QCache<QString, QImage> imagenes_;  // cost: the image's bytes
};

// The thumbnail of `archivo`, made on the calling (worker) thread: the service's, else one
// generated here through `turnos`; a null image when there is none. Never throws, apart from
// a cancellation.
QImage miniaturaDe(const Vemlo& api, const ArchivoRemoto& archivo, Turnos& turnos,
                   std::stop_token parar);

}  // namespace vemlo::app
