// Thumbnails of images, made with libvips when an upload is confirmed.
#pragma once

#include <optional>
#include <string>

namespace vemlo::servicio {

void iniciarVips(const char* programa);
void cerrarVips();

// A JPEG that fits in 400×400 made from the blob, stored as a new blob; nothing for
// anything but images, or when the bytes are not an image libvips reads.
std::optional<std::string> hacerMiniatura(const std::string& blobId, const std::string& tipo);

// A generated picture (a colour gradient with a sun) in the format of `extension`
// (".jpg", ".png"), for the demo's photos.
std::string imagenDeMuestra(int ancho, int alto, const std::string& extension);

}  // namespace vemlo::servicio
