// The downloads readers follow: started through the extension into a file of the domain's
// temporary folder, stored in the content cache only once whole and of the item's size, and
// kept half-way for the next reader when stopped because nobody read any more.
#include <sys/stat.h>

#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// A download is the item's whole content only when it has the item's size.
void exigirEntero(const fs::path& archivo, const fp::Item& item) {
  struct stat datos {};
  if (::stat(archivo.c_str(), &datos) != 0) fallaSistema(errno);
  const auto tamano = item.documentSize();
  if (tamano && *tamano != datos.st_size) fallaSistema(EIO);
}

// What a download that did not reach the cache leaves: the bytes of one stopped for want of
// readers wait for the next; anything else goes.
void dejarLoLlegado(Volumen::Estado& e, const std::string& id, const Descarga& d) {
  const auto bytes = d.llegados();
  if (d.cancelada() && bytes > 0) return e.descargas.pausar({id, d.version(), d.archivo(), bytes});
  std::error_code ignorado;
  fs::remove(d.archivo(), ignorado);
}

// The download's end, from the extension's thread: a whole file goes into the cache, then
// every waiting reader hears of it.
void alTerminar(Volumen::Estado& e, const std::string& id, const std::shared_ptr<Descarga>& d,
                const std::optional<fs::path>& archivo, const fp::ItemPtr& item,
                std::exception_ptr fallo) {
  std::optional<fs::path> guardado;
  if (!fallo) {
    try {
      exigirEntero(*archivo, *item);
      guardado = e.cache.guardar(id, item->itemVersion().contentVersion, *archivo);
      e.arbol.aplicar(*item);
    } catch (...) {
      fallo = std::current_exception();
    }
  }
  if (fallo && !e.noAlcanzo(fallo)) e.conexion.alcanzada();
  if (!fallo) e.conexion.alcanzada();
  e.descargas.quitar(id, d.get());
  if (!guardado) dejarLoLlegado(e, id, *d);
  d->terminar(fallo, guardado);
}

}  // namespace

std::shared_ptr<Descarga> Volumen::Estado::seguirDescarga(const Nodo& n) {
  auto [d, nueva] = descargas.unirse(n.id, n.version);
  if (!nueva) return d;
  d->fijarProgreso(ext.fetchContentsInto(
      n.id, d->archivo(), [d](std::int64_t bytes) { d->llegaron(bytes); },
      [this, d, id = n.id](auto archivo, fp::ItemPtr item, std::exception_ptr fallo) {
        alTerminar(*this, id, d, archivo, item, fallo);
      }));
  return d;
}

}  // namespace vemlo::finder::host
