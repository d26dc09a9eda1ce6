// Putting a text on the desktop's clipboard without a toolkit: wl-copy on Wayland, else the
// running app through its single-instance socket, else xclip or xsel (X11); the programs run
// with an argument vector and the text on their standard input.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vemlo::cli {

// The app's single-instance socket, where Qt puts it: "vemlo/app.sock" in $XDG_RUNTIME_DIR,
// else in "runtime-<user>" of the temporary folder.
std::filesystem::path socketDeLaApp();

// Who took the text ("vemlo", "wl-copy", "xclip", "xsel"), or none when nobody could.
std::optional<std::string> copiarAlPortapapeles(std::string_view texto);

// Shows a desktop notification through notify-send when there is one; never waits for it.
void notificar(std::string_view titulo, std::string_view cuerpo);

}  // namespace vemlo::cli
