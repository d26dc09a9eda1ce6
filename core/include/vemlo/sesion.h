// SesionGuardada: the one stored secret, the bearer token, shared by the app, the file-manager
// folder and the CLI of the same user.
//
// The token lives in the Secret Service (libsecret) and, when that refuses it, in the file
// "sesion" of the shared container $XDG_DATA_HOME/vemlo. Every operation is synchronous and
// callable from any thread. Reading never fails loudly (a token that cannot be read is no
// token); storing one that can be kept nowhere does, so that no sign-in seems to succeed.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "vemlo/cliente.h"

namespace vemlo {

class SesionGuardada {
 public:
  // Clears what was stored, then stores the token in the keychain, else in the file; fails with
  // std::filesystem::filesystem_error when neither keeps it.
  static void guardar(std::string_view token);
  // The stored token, or nothing (also for bytes that are not UTF-8).
  static std::optional<std::string> leer();
  // Removes the keychain item and the fallback file.
  static void borrar();
  // A client of baseInicial() for the stored token; nothing (and no request) without one.
  static std::shared_ptr<const Vemlo> clienteGuardado();

  // The shared container: $XDG_DATA_HOME/vemlo, or ~/.local/share/vemlo.
  static std::filesystem::path contenedor();
};

}  // namespace vemlo
