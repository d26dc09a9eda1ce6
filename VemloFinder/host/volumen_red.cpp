// A mount without the service: listings and the root's rights from the extension's index
// while the service cannot be reached, and the catch-up once it answers again (found by a
// probe with growing pauses, or by any request that reaches it): the change enumeration runs
// and the uploads waiting out a pause go at once.
#include "volumen_interno.h"

namespace vemlo::finder::host {

void Volumen::Estado::listarConocidos(const Nodo& carpeta) {
  // A folder listed in this run already holds what is known of it, and what was made here.
  if (arbol.listada(carpeta.ino)) return;
  avisarLuego(arbol.fijarHijos(carpeta.id, ext.conocidos(carpeta.id)));
}

void Volumen::Estado::raizSinRed() {
  if (raizDelIndice.exchange(true)) return;  // once: the index is not read at every look
  if (const auto raiz = ext.raizConocida())
    arbol.fijarCapacidades(FUSE_ROOT_ID, raiz->capabilities());
}

bool Volumen::Estado::noAlcanzo(std::exception_ptr fallo) {
  if (!esErrorDeProveedor(fallo, fp::serverUnreachable)) return false;
  conexion.perdida();
  return true;
}

std::vector<Aviso> Volumen::Estado::ponerseAlDia() {
  std::lock_guard turno(candadoSenal);
  std::vector<Aviso> cambios;
  try {
    cambios = cambiosDelServicio();
  } catch (...) {
    if (noAlcanzo(std::current_exception())) throw;
    conexion.alDia();
    subidor->reintentarYa();
    throw;
  }
  conexion.alDia();
  subidor->reintentarYa();
  return cambios;
}

void Volumen::Estado::vigilar(std::stop_token parar) {
  // The first look at the root tells whether the service answers at all.
  conRaiz([](std::exception_ptr) {});
  auto pausa = std::chrono::steady_clock::duration(primeraPausa);
  for (;;) {
    if (conexion.esperar(parar, pausa) == Conexion::Turno::parar) return;
    try {
      // Through the notifier: this thread may outlive the session's loop.
      avisarLuego(ponerseAlDia());
    } catch (...) {
      // The failure is the connection's state, which decides the next pause.
    }
    const auto mayor = std::chrono::steady_clock::duration(mayorPausa);
    pausa = conexion.sinRed() ? std::min(pausa * 2, mayor) : primeraPausa;
  }
}

}  // namespace vemlo::finder::host
