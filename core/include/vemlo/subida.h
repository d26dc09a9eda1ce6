// The upload engine: one local file into a folder of the service, as one signed PUT or in
// numbered parts (at most 4 in flight, each retried with back-off), then confirmed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "vemlo/cliente.h"

namespace vemlo {

// Sleeps `nanosegundos`; fails with `cancelado` at once when `parar` is requested.
using Esperar = std::function<void(std::uint64_t nanosegundos, std::stop_token parar)>;
void esperarDeVerdad(std::uint64_t nanosegundos, std::stop_token parar);

// How one upload goes, beyond what and where.
struct OpcionesSubida {
  std::optional<std::string> nombre{};      // the name on the service; else the file's own
  Esperar esperar = esperarDeVerdad;        // the back-off between attempts
  std::function<void(double)> alAvanzar{};  // the fraction done after each part, from its thread
  std::stop_token parar{};                  // ends every transfer and wait; nothing is confirmed
};

// Uploads `archivo` into the folder `carpetaId` and gives the stored file's id. Fails with
// the file system's error (std::filesystem_error) when the file cannot be read, or with
// ErrorVemlo.
std::string subirArchivo(const std::filesystem::path& archivo, std::string_view carpetaId,
                         const Vemlo& api, const OpcionesSubida& opciones = {});

}  // namespace vemlo
