// The autostart entry as desktops that follow freedesktop.org's autostart rules read it.
#include "arranque.h"

#include <sstream>
#include <string>

#include "vemlo/archivo.h"
#include "vemlo/xdg.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

// A path as one quoted argument of Exec: the quoting rule's escapes, then the string type's
// own escape of the backslash, and "%%" for a literal percent sign.
std::string argumentoDeExec(const std::string& ruta) {
  std::string texto = "\"";
  for (const char c : ruta) {
    if (c == '"' || c == '`' || c == '$') texto += "\\\\";
    if (c == '\\') texto += "\\\\\\";
    if (c == '%') texto += '%';
    texto += c;
  }
  return texto + "\"";
}

// A path as a string value: only the backslash is escaped.
std::string valorDeCadena(const std::string& ruta) {
  std::string texto;
  for (const char c : ruta) {
    if (c == '\\') texto += '\\';
    texto += c;
  }
  return texto;
}

}  // namespace

fs::path archivoDeArranque() {
  return configuracionDeUsuario() / "autostart" / "vemlo.desktop";
}

void escribirArranque(const fs::path& programa) {
  const auto ruta = archivoDeArranque();
  const auto nombre = programa.string();
  if (nombre.find_first_of("\n\r") != std::string::npos)
    throw fs::filesystem_error("autostart", programa,
                               std::make_error_code(std::errc::invalid_argument));
  fs::create_directories(ruta.parent_path());
  const auto texto =
      "[Desktop Entry]\nType=Application\nName=Vemlo\nExec=" + argumentoDeExec(nombre) +
      "\nTryExec=" + valorDeCadena(nombre) +
      "\nIcon=app.vemlo.Vemlo\nX-GNOME-Autostart-enabled=true\n";
  reemplazar(ruta, texto, Durabilidad::datos, 0644);
}

void quitarArranque() {
  std::error_code error;
  fs::remove(archivoDeArranque(), error);
  if (error) throw fs::filesystem_error("remove", archivoDeArranque(), error);
}

bool arranqueEncendido() {
  std::optional<std::string> texto;
  try {
    texto = leerSiHay(archivoDeArranque());
  } catch (const fs::filesystem_error&) {
    return false;
  }
  if (!texto) return false;
  std::istringstream lineas(*texto);
  for (std::string linea; std::getline(lineas, linea);) {
    if (linea == "Hidden=true" || linea == "X-GNOME-Autostart-enabled=false") return false;
  }
  return true;
}

}  // namespace vemlo::app
