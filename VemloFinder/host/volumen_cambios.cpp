// Changes to the tree: new folders, deletions (to the service's trash), moves and renames,
// a rename over an existing file (an editor's save: the new bytes become the target's), and
// what an upload that reached the service changes here.
#include <cstdio>

#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

void exigirEscritura(const Nodo& carpeta) {
  if (!(carpeta.capacidades & fp::writing)) fallaSistema(EACCES);
}

// Answers the error, or runs `luego` and answers 0 (or its failure).
fp::ErrorCompletion yLuego(Respuesta r, std::function<void()> luego) {
  return [r, luego = std::move(luego)](std::exception_ptr error) {
    if (error) return static_cast<void>(r->error(errnoDe(error)));
    atender(*r, [&] {
      luego();
      r->error(0);
    });
  };
}

fp::PlainItem comoItem(const std::string& id, const std::string& padre, const std::string& nombre,
                       bool carpeta) {
  fp::PlainItem item;
  item.identifier = id;
  item.parent = padre;
  item.name = nombre;
  item.type = carpeta ? fp::folderType : fp::dataType;
  return item;
}

void crearCarpeta(fuse_req_t req, fuse_ino_t padre, const char* nombre, mode_t) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto carpeta = presente(e.arbol.porIno(padre));
    exigirEscritura(carpeta);
    exigirNombre(nombre);
    e.ext.createItem(comoItem("", carpeta.id, nombre, true), 0, std::nullopt, 0,
                     [r, &e](fp::ItemPtr item, fp::ItemFields, bool, std::exception_ptr error) {
                       if (error) return static_cast<void>(r->error(errnoDe(error)));
                       atender(*r, [&] { e.responderEntrada(*r, e.arbol.aplicar(*item)); });
                     });
  });
}

// Forgets everything here about an item that is gone; the bytes of a file still open stay
// readable through its handles until the last one closes.
void olvidar(Volumen::Estado& e, const Nodo& n) {
  e.arbol.quitar(n.id);
  e.cache.olvidar(n.id);
  if (!n.clave.empty()) e.descartarCopia(n.clave);
}

// Holds the node's pending upload back while `cambio` runs; it is queued again once the
// change and every task it started are over.
void retenido(Volumen::Estado& e, const Nodo& n,
              std::function<void(std::shared_ptr<Retencion>)> cambio) {
  auto retencion = std::make_shared<Retencion>(*e.subidor, n.clave);
  e.subidor->retener(n.clave, [retencion, cambio = std::move(cambio)] { cambio(retencion); });
}

// Deletes the item once its upload (if any) is not on its way.
void borrar(Respuesta r, Volumen::Estado& e, const Nodo& n) {
  retenido(e, n, [r, &e, ino = n.ino](auto retencion) {
    atender(*r, [&] {
      const auto ahora = presente(e.arbol.porIno(ino));
      if (esLocal(ahora.id)) {
        olvidar(e, ahora);
        return static_cast<void>(r->error(0));
      }
      e.ext.deleteItem(ahora.id, {}, 0, yLuego(r, [&e, ahora, retencion] { olvidar(e, ahora); }));
    });
  });
}

void borrarArchivo(fuse_req_t req, fuse_ino_t padre, const char* nombre) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    exigirEscritura(presente(e.arbol.porIno(padre)));
    const auto n = presente(e.arbol.hijo(padre, nombre));
    if (n.esCarpeta) fallaSistema(EISDIR);
    borrar(r, e, n);
  });
}

void borrarCarpeta(fuse_req_t req, fuse_ino_t padre, const char* nombre) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    exigirEscritura(presente(e.arbol.porIno(padre)));
    const auto n = presente(e.arbol.hijo(padre, nombre));
    if (!n.esCarpeta) fallaSistema(ENOTDIR);
    e.fresca(n.ino, [r, &e, n](std::exception_ptr error) {
      if (error) return static_cast<void>(r->error(errnoDe(error)));
      if (!e.arbol.hijos(n.ino).empty()) return static_cast<void>(r->error(ENOTEMPTY));
      e.ext.deleteItem(n.id, {}, 0, yLuego(r, [&e, n] { e.arbol.quitar(n.id); }));
    });
  });
}

// The entry's record follows the node's new name and place.
void seguirNodo(Volumen::Estado& e, const Nodo& n) {
  if (n.clave.empty()) return;
  std::lock_guard bloqueo(e.candado);  // as confirmar reads node and record
  auto p = e.pendientes.buscar(n.clave);
  if (!p) return;
  p->padre = n.padre;
  p->nombre = n.nombre;
  e.pendientes.actualizar(*p);
}

void mover(Respuesta r, Volumen::Estado& e, const Nodo& n, const Nodo& carpeta,
           const std::string& nombre) {
  retenido(e, n, [r, &e, ino = n.ino, carpeta, nombre](auto retencion) {
    atender(*r, [&] {
      const auto ahora = presente(e.arbol.porIno(ino));
      if (esLocal(ahora.id)) {
        e.arbol.mover(ahora.id, carpeta.id, nombre);
        seguirNodo(e, *e.arbol.porId(ahora.id));
        return static_cast<void>(r->error(0));
      }
      e.ext.modifyItem(
          comoItem(ahora.id, carpeta.id, nombre, ahora.esCarpeta), {},
          fp::parentItemIdentifier | fp::filename, std::nullopt, 0,
          [r, &e, retencion](fp::ItemPtr item, fp::ItemFields, bool, std::exception_ptr error) {
            if (error) return static_cast<void>(r->error(errnoDe(error)));
            atender(*r, [&] {
              if (const auto n = e.arbol.aplicar(*item)) seguirNodo(e, *n);
              r->error(0);
            });
          });
    });
  });
}

// The source's bytes become the target's: the source's node takes the target's place, its
// staging copy becomes the target's pending upload, and a source the service has goes to its
// trash.
void ocupar(Respuesta r, Volumen::Estado& e, const Nodo& origen, const std::string& clave,
            const Nodo& destino) {
  auto n = presente(e.arbol.ocupar(origen.id, destino.id));
  // A target the service does not know yet: the node is the new file of this staging copy, so
  // that its first upload gives it the service's identifier.
  if (esLocal(destino.id)) n = presente(e.arbol.cambiarId(destino.id, idLocal(clave)));
  e.arbol.fijarClave(n.id, clave);
  if (!destino.clave.empty() && destino.clave != clave) e.descartarCopia(destino.clave);
  e.cache.olvidar(destino.id);
  e.confirmar(clave, n.ino);
  {
    std::lock_guard candado(e.candado);
    if (!e.abiertas.contains(clave)) e.sucias.erase(clave);
  }
  e.subidor->encolar(clave);
  if (esLocal(origen.id)) return static_cast<void>(r->error(0));
  // The bytes are safe in the pending upload; a source that stays on the service shows up
  // again at the next listing, nothing is lost.
  e.ext.deleteItem(origen.id, {}, 0, [r](std::exception_ptr) { r->error(0); });
}

// Both are looked at again once their uploads are held: one may have finished meanwhile and
// given a new file its service identifier.
void reemplazar(Respuesta r, Volumen::Estado& e, const Nodo& origen, const Nodo& destinoAntes) {
  retenido(e, origen, [r, &e, ino = origen.ino, destinoAntes](auto deOrigen) {
    retenido(e, destinoAntes, [r, &e, ino, aIno = destinoAntes.ino, deOrigen](auto deDestino) {
      atender(*r, [&] {
        const auto ahora = presente(e.arbol.porIno(ino));
        const auto destino = presente(e.arbol.porIno(aIno));
        if (!ahora.clave.empty()) return ocupar(r, e, ahora, ahora.clave, destino);
        e.conContenido(ahora, [r, &e, ahora, destino, deOrigen, deDestino](
                                  auto ruta, std::exception_ptr error) {
          if (error) return static_cast<void>(r->error(errnoDe(error)));
          atender(*r, [&] { ocupar(r, e, ahora, e.prepararCopia(ahora, ruta), destino); });
        });
      });
    });
  });
}

void renombrar(fuse_req_t req, fuse_ino_t padre, const char* nombre, fuse_ino_t nuevoPadre,
               const char* nuevoNombre, unsigned int banderas) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    if (banderas & RENAME_EXCHANGE) fallaSistema(EINVAL);
    exigirEscritura(presente(e.arbol.porIno(padre)));
    const auto carpeta = presente(e.arbol.porIno(nuevoPadre));
    exigirEscritura(carpeta);
    exigirNombre(nuevoNombre);
    const auto n = presente(e.arbol.hijo(padre, nombre));
    const auto destino = e.arbol.hijo(nuevoPadre, nuevoNombre);
    if (!destino || !destino->presente) return mover(r, e, n, carpeta, nuevoNombre);
    if (banderas & RENAME_NOREPLACE) fallaSistema(EEXIST);
    if (destino->ino == n.ino) return static_cast<void>(r->error(0));
    if (destino->esCarpeta) fallaSistema(n.esCarpeta ? ENOTEMPTY : EISDIR);
    if (n.esCarpeta) fallaSistema(ENOTDIR);
    reemplazar(r, e, n, *destino);
  });
}

// Links, devices, pipes and sockets have no place in the service.
void enlazar(fuse_req_t req, const char*, fuse_ino_t, const char*) {
  atender(req, std::nullopt, [](const Respuesta& r, Volumen::Estado&) { r->error(ENOTSUP); });
}

void crearEspecial(fuse_req_t req, fuse_ino_t, const char*, mode_t, dev_t) {
  atender(req, std::nullopt, [](const Respuesta& r, Volumen::Estado&) { r->error(ENOTSUP); });
}

void enlazarDuro(fuse_req_t req, fuse_ino_t, fuse_ino_t, const char*) {
  atender(req, std::nullopt, [](const Respuesta& r, Volumen::Estado&) { r->error(ENOTSUP); });
}

}  // namespace

void Volumen::Estado::alSubir(const Pendiente& p, std::uint64_t cambios, const fp::Item& item) {
  const auto id = item.itemIdentifier();
  bool queda = true;
  {
    std::lock_guard bloqueo(candado);
    if (p.id.empty()) arbol.cambiarId(idLocal(p.clave), id);
    queda = !entregarSiSePuede(p.clave, cambios, item);
    arbol.aplicar(item);
  }
  // Outside the lock: a record written meanwhile has the node's new identity already.
  if (queda && p.id.empty()) pendientes.anotarId(p.clave, id);
}

// With candado held: hands the copy over when nothing was written into it since the upload of
// its `cambios`-th change began; one still open waits for its last close.
bool Volumen::Estado::entregarSiSePuede(const std::string& clave, std::uint64_t cambios,
                                        const fp::Item& item) {
  if (sucias.contains(clave) || pendientes.cambios(clave) != cambios || !pendientes.buscar(clave))
    return false;
  const Entregable entregable{cambios, item.itemIdentifier(), item.itemVersion().contentVersion};
  if (abiertas.contains(clave)) {
    entregables[clave] = entregable;
    return false;
  }
  entregar(clave, entregable);
  return true;
}

void Volumen::Estado::entregar(const std::string& clave, Entregable entregable) {
  entregables.erase(clave);
  cache.guardar(entregable.id, entregable.version, pendientes.copia(clave));
  arbol.fijarClave(entregable.id, "");
  pendientes.quitar(clave);
}

void Volumen::Estado::alChocar(const Pendiente& p) {
  const auto antes = arbol.porId(p.id.empty() ? idLocal(p.clave) : p.id);
  const auto carpeta = arbol.porId(p.padre);
  const auto ahora = std::chrono::system_clock::now();
  auto nombre = nombreEnConflicto(p.nombre, ahora, 1);
  for (int n = 2; carpeta && arbol.hijo(carpeta->ino, nombre) && n < 1000; ++n)
    nombre = nombreEnConflicto(p.nombre, ahora, n);
  {
    std::lock_guard bloqueo(candado);  // as confirmar reads node and record
    if (antes) arbol.mover(antes->id, p.padre, nombre);
    if (auto renombrada = pendientes.buscar(p.clave)) {
      renombrada->nombre = nombre;
      pendientes.actualizar(*renombrada);
    }
  }
  if (antes) avisarLuego({{antes, arbol.porId(antes->id)}});
}

void operacionesDeCambios(fuse_lowlevel_ops& ops) {
  ops.mkdir = crearCarpeta;
  ops.unlink = borrarArchivo;
  ops.rmdir = borrarCarpeta;
  ops.rename = renombrar;
  ops.symlink = enlazar;
  ops.mknod = crearEspecial;
  ops.link = enlazarDuro;
}

}  // namespace vemlo::finder::host
