// Asking the running vemlo-finder over its control socket, as vemlo-cli and the app do. The
// socket lives in the user's private runtime folder. One request line, one answer:
//   "estado": the host's status as JSON on one line (see Anfitrion::estado: each domain's
//     mount, pending uploads, kernel requests, and its "cache": bytes used, the limit, and the
//     files kept on this device, with those that did not fit);
//   "senal <identifier>": the domain's change signal;
//   "item <absolute path>": the item at that path in a mounted folder, as JSON on one line;
//   "fijar <identifier> <item id>" / "soltar <identifier> <item id>": keeps the item (a
//     folder: everything below it) on this device, or lets it go;
//   "limite <bytes>": stores the content cache's limit and applies it to every domain.
// All but "estado" and "item" answer "ok"; any may answer "error <code> <detail>" where the
// code is one of the message table's.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace vemlo::finder {

// The host's runtime folder: $XDG_RUNTIME_DIR/vemlo, else /tmp/vemlo-<uid>. Nothing is made.
std::filesystem::path carpetaDeEjecucion();
// The same folder, made (0700) when missing; fails unless it is a folder of this user and not
// a symbolic link.
std::filesystem::path prepararCarpetaDeEjecucion();
// The control socket: "finder.sock" in the runtime folder.
std::filesystem::path archivoDeControl();

// No host listens on the control socket.
class SinAnfitrion : public std::runtime_error {
 public:
  SinAnfitrion() : std::runtime_error("vemlo-finder is not running") {}
};

// Sends one request line to the running host and returns its whole answer. Fails with
// SinAnfitrion, or std::runtime_error when the socket cannot be used.
std::string pedirAlAnfitrion(const std::string& linea);

// The running host's status, or none when no host answers as one should.
std::optional<nlohmann::json> estadoDelAnfitrion();

// The status shape built from the registry alone, for when no host runs: nothing mounted, the
// reason "sinAnfitrion" (or "apagada"), pending uploads and kernel requests left out.
nlohmann::json estadoDelRegistro();

// The item at a path inside a mounted Vemlo folder, as the host's table knows it.
struct ItemEnCarpeta {
  std::string identifier;  // the domain's (the company's id)
  std::string id;          // the item's
  std::string padre;       // the folder it is in; empty in the company's root folder
  bool carpeta = false;
  bool raiz = false;  // the folder's root: the company's root folder
};

// The host refused a request: `codigo` is one of the message table's.
class RechazoDelAnfitrion : public std::runtime_error {
 public:
  RechazoDelAnfitrion(std::string codigo, const std::string& detalle)
      : std::runtime_error(detalle), codigo(std::move(codigo)) {}
  std::string codigo;
};

// Asks the host which item is at `ruta`, an absolute plain path (as realpath gives it, with no
// newline). Fails with RechazoDelAnfitrion ("fueraDeCarpeta", "sinElemento", "sinSubir"...),
// or as pedirAlAnfitrion does.
ItemEnCarpeta itemEn(const std::filesystem::path& ruta);

// Runs the change signal of one domain: none when done, else the reason's code. Fails as
// pedirAlAnfitrion does.
std::optional<std::string> senalar(const std::string& identifier);

// Keeps an item of a domain on this device (or lets it go): none when done, else the reason's
// code. Fails as pedirAlAnfitrion does.
std::optional<std::string> fijarItem(const std::string& identifier, const std::string& id,
                                     bool fijado);

// Sets the content cache's limit through the running host; with none running, stores it for
// the next start. None when done, else the reason's code.
std::optional<std::string> limitarCache(std::uint64_t bytes);

}  // namespace vemlo::finder
