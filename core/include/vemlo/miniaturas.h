// Local thumbnails: small JPEGs of images and videos made on this machine, for files the
// service has no thumbnail of (yet), such as uploads in progress and files in the folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vemlo {

// A JPEG (quality 80, no metadata) of the whole image turned upright by its EXIF orientation
// and shrunk, never enlarged, to fit 400×400. Nothing when `bytes` is not an image libvips
// decodes. Never throws; safe from any thread.
std::optional<std::string> miniaturaDeImagen(std::string_view bytes);

// A JPEG (quality 80) of the frame at one second of the video at `direccion`, a local path or
// an http(s) address, upright by its rotation metadata and fitting 400×400. Nothing when the
// video cannot be opened or decoded. Never throws; safe from any thread.
std::optional<std::string> miniaturaDeVideo(const std::string& direccion);

// An image's pixels: 8-bit sRGB, three bytes a pixel, rows from the top.
struct Pixeles {
  int ancho = 0;
  int alto = 0;
  std::string rgb;
};

// The image in `bytes` turned upright and shrunk, never enlarged, to fit lado×lado, with any
// transparency laid on white. Nothing when it is not an image libvips decodes. Never throws;
// safe from any thread.
std::optional<Pixeles> pixelesDeImagen(std::string_view bytes, int lado);

}  // namespace vemlo
