// Media types by file name through GIO's content-type guessing (shared-mime-info).
#include "vemlo/tipos.h"

#include <gio/gio.h>

namespace vemlo {

std::string tipoMime(std::string_view nombre) {
  const std::string copia(nombre);
  gboolean dudoso = FALSE;
  gchar* tipo = g_content_type_guess(copia.c_str(), nullptr, 0, &dudoso);
  gchar* mime = tipo ? g_content_type_get_mime_type(tipo) : nullptr;
  std::string resultado = mime ? mime : "application/octet-stream";
  g_free(mime);
  g_free(tipo);
  return resultado;
}

}  // namespace vemlo
