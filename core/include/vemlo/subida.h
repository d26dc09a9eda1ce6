// The upload engine: one local file into a folder of the service, as one signed PUT or in
// numbered parts (at most 4 in flight, each retried with back-off), then confirmed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "vemlo/cliente.h"

namespace vemlo {

// Sleeps `nanosegundos`; fails with `cancelado` at once when `parar` is requested.
using Esperar = std::function<void(std::uint64_t nanosegundos, std::stop_token parar)>;
void esperarDeVerdad(std::uint64_t nanosegundos, std::stop_token parar);

// Uploads `archivo` into the folder `carpetaId` under `nombre` (else the file's own name) and
// gives the stored file's id. `alAvanzar` gets the fraction done after each part, from the
// part's thread. Fails with the file system's error (std::filesystem_error) when the file
// cannot be read, or with ErrorVemlo; cancelling `parar` ends every transfer and wait, and
// nothing is confirmed.
std::string subirArchivo(const std::filesystem::path& archivo,
                         const std::optional<std::string>& nombre, std::string_view carpetaId,
                         const Vemlo& api, const Esperar& esperar = esperarDeVerdad,
                         const std::function<void(double)>& alAvanzar = {},
                         std::stop_token parar = {});

// Positioned reads of one open file: concurrent parts never share a file offset.
class LectorPartes {
 public:
  explicit LectorPartes(const std::filesystem::path& archivo);
  ~LectorPartes();
  LectorPartes(const LectorPartes&) = delete;
  LectorPartes& operator=(const LectorPartes&) = delete;

  // At most `largo` bytes from `desde`; fewer at the end of the file.
  std::string leerParte(std::int64_t desde, std::int64_t largo) const;

 private:
  std::filesystem::path archivo_;
  int manija_;
};

// Counts finished parts and reports the fraction, one report at a time.
class Contador {
 public:
  Contador(std::int64_t total, std::function<void(double)> alAvanzar)
      : total_(total), alAvanzar_(std::move(alAvanzar)) {}
  void avanzar();

 private:
  std::mutex candado_;  // serialises the count and its report
  const std::int64_t total_;
  std::function<void(double)> alAvanzar_;
  std::int64_t hechas_ = 0;
};

}  // namespace vemlo
