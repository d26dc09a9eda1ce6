// The login item: an XDG autostart entry, $XDG_CONFIG_HOME/autostart/vemlo.desktop, written as
// plain text (QSettings would escape its group name).
#pragma once

#include <filesystem>

namespace vemlo::app {

std::filesystem::path archivoDeArranque();

// Writes the entry that starts `programa` at login; fails with
// std::filesystem::filesystem_error.
void escribirArranque(const std::filesystem::path& programa);

// Removes the entry; nothing there is no failure.
void quitarArranque();

// True when the entry exists and is neither hidden nor switched off (as GNOME's own switch
// writes it).
bool arranqueEncendido();

}  // namespace vemlo::app
