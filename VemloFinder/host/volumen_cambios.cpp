// Changes to the tree: new folders, deletions (to the service's trash), moves and renames,
// a rename over an existing file (an editor's save: the new bytes become the target's), and
// what an upload that reached the service changes here.
#include <cstdio>

#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

[[noreturn]] void falla(int codigo) {
  throw std::system_error(codigo, std::generic_category());
}

Nodo presente(const std::optional<Nodo>& n) {
  if (!n || !n->presente) falla(ENOENT);
  return *n;
}

void exigirEscritura(const Nodo& carpeta) {
  if (!(carpeta.capacidades & fp::writing)) falla(EACCES);
}

// Replies with the error, or runs `luego` and replies 0 (or its failure).
fp::ErrorCompletion yLuego(fuse_req_t req, std::function<void()> luego) {
  return [req, luego = std::move(luego)](std::exception_ptr error) {
    if (error) return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
    atender(req, [&] {
      luego();
      fuse_reply_err(req, 0);
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

void mkdir(fuse_req_t req, fuse_ino_t padre, const char* nombre, mode_t) {
  atender(req, [&] {
    auto& e = estadoDe(req);
    const auto carpeta = presente(e.arbol.porIno(padre));
    exigirEscritura(carpeta);
    if (!nombreValido(nombre)) falla(EINVAL);
    e.ext.createItem(comoItem("", carpeta.id, nombre, true), 0, std::nullopt, 0,
                     [req, &e](fp::ItemPtr item, fp::ItemFields, bool, std::exception_ptr error) {
                       if (error) return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
                       atender(req, [&] { e.responderEntrada(req, e.arbol.aplicar(*item)); });
                     });
  });
}

// Forgets everything here about an item that is gone.
void olvidar(Volumen::Estado& e, const Nodo& n) {
  e.arbol.quitar(n.id);
  e.cache.olvidar(n.id);
  if (n.clave.empty()) return;
  e.pendientes.quitar(n.clave);
  std::error_code ignorado;  // a copy never confirmed is not in the store
  std::filesystem::remove(e.pendientes.copia(n.clave), ignorado);
}

// Holds the node's pending upload back while `cambio` runs; it is queued again once the
// change and every task it started are over.
void retenido(Volumen::Estado& e, const Nodo& n,
              std::function<void(std::shared_ptr<Retencion>)> cambio) {
  auto retencion = std::make_shared<Retencion>(*e.subidor, n.clave);
  e.subidor->retener(n.clave, [retencion, cambio = std::move(cambio)] { cambio(retencion); });
}

// Deletes the item once its upload (if any) is not on its way.
void borrar(fuse_req_t req, Volumen::Estado& e, const Nodo& n) {
  retenido(e, n, [req, &e, ino = n.ino](auto retencion) {
    atender(req, [&] {
      const auto ahora = presente(e.arbol.porIno(ino));
      if (esLocal(ahora.id)) {
        olvidar(e, ahora);
        return static_cast<void>(fuse_reply_err(req, 0));
      }
      e.ext.deleteItem(ahora.id, {}, 0, yLuego(req, [&e, ahora, retencion] { olvidar(e, ahora); }));
    });
  });
}

void unlink(fuse_req_t req, fuse_ino_t padre, const char* nombre) {
  atender(req, [&] {
    auto& e = estadoDe(req);
    exigirEscritura(presente(e.arbol.porIno(padre)));
    const auto n = presente(e.arbol.hijo(padre, nombre));
    if (n.esCarpeta) falla(EISDIR);
    borrar(req, e, n);
  });
}

void rmdir(fuse_req_t req, fuse_ino_t padre, const char* nombre) {
  atender(req, [&] {
    auto& e = estadoDe(req);
    exigirEscritura(presente(e.arbol.porIno(padre)));
    const auto n = presente(e.arbol.hijo(padre, nombre));
    if (!n.esCarpeta) falla(ENOTDIR);
    e.fresca(n.ino, [req, &e, n](std::exception_ptr error) {
      if (error) return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
      if (!e.arbol.hijos(n.ino).empty()) return static_cast<void>(fuse_reply_err(req, ENOTEMPTY));
      e.ext.deleteItem(n.id, {}, 0, yLuego(req, [&e, n] { e.arbol.quitar(n.id); }));
    });
  });
}

// The entry's record follows the node's new name and place.
void seguirNodo(Volumen::Estado& e, const Nodo& n) {
  if (n.clave.empty()) return;
  auto p = e.pendientes.buscar(n.clave);
  if (!p) return;
  p->padre = n.padre;
  p->nombre = n.nombre;
  e.pendientes.actualizar(*p);
}

void mover(fuse_req_t req, Volumen::Estado& e, const Nodo& n, const Nodo& carpeta,
           const std::string& nombre) {
  retenido(e, n, [req, &e, ino = n.ino, carpeta, nombre](auto retencion) {
    atender(req, [&] {
      const auto ahora = presente(e.arbol.porIno(ino));
      if (esLocal(ahora.id)) {
        e.arbol.mover(ahora.id, carpeta.id, nombre);
        seguirNodo(e, *e.arbol.porId(ahora.id));
        return static_cast<void>(fuse_reply_err(req, 0));
      }
      e.ext.modifyItem(
          comoItem(ahora.id, carpeta.id, nombre, ahora.esCarpeta), {},
          fp::parentItemIdentifier | fp::filename, std::nullopt, 0,
          [req, &e, retencion](fp::ItemPtr item, fp::ItemFields, bool, std::exception_ptr error) {
            if (error) return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
            atender(req, [&] {
              if (const auto n = e.arbol.aplicar(*item)) seguirNodo(e, *n);
              fuse_reply_err(req, 0);
            });
          });
    });
  });
}

// The source's bytes become the target's: the source's node takes the target's place, its
// staging copy becomes the target's pending upload, and a source the service has goes to its
// trash.
void ocupar(fuse_req_t req, Volumen::Estado& e, const Nodo& origen, const std::string& clave,
            const Nodo& destino) {
  const auto n = presente(e.arbol.ocupar(origen.id, destino.id));
  e.arbol.fijarClave(destino.id, clave);
  if (!destino.clave.empty() && destino.clave != clave) e.pendientes.quitar(destino.clave);
  e.cache.olvidar(destino.id);
  e.confirmar(clave, n.ino);
  {
    std::lock_guard candado(e.candado);
    if (!e.abiertas.contains(clave)) e.sucias.erase(clave);
  }
  e.subidor->encolar(clave);
  if (esLocal(origen.id)) return static_cast<void>(fuse_reply_err(req, 0));
  // The bytes are safe in the pending upload; a source that stays on the service shows up
  // again at the next listing, nothing is lost.
  e.ext.deleteItem(origen.id, {}, 0, [req](std::exception_ptr) { fuse_reply_err(req, 0); });
}

void reemplazar(fuse_req_t req, Volumen::Estado& e, const Nodo& origen, const Nodo& destino) {
  retenido(e, origen, [req, &e, ino = origen.ino, destino](auto deOrigen) {
    retenido(e, destino, [req, &e, ino, destino, deOrigen](auto deDestino) {
      atender(req, [&] {
        const auto ahora = presente(e.arbol.porIno(ino));
        if (!ahora.clave.empty()) return ocupar(req, e, ahora, ahora.clave, destino);
        e.conContenido(ahora, [req, &e, ahora, destino, deOrigen, deDestino](
                                  auto ruta, std::exception_ptr error) {
          if (error) return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
          atender(req,
                  [&] { ocupar(req, e, ahora, e.prepararCopia(ahora, false, ruta), destino); });
        });
      });
    });
  });
}

void rename(fuse_req_t req, fuse_ino_t padre, const char* nombre, fuse_ino_t nuevoPadre,
            const char* nuevoNombre, unsigned int banderas) {
  atender(req, [&] {
    auto& e = estadoDe(req);
    if (banderas & RENAME_EXCHANGE) falla(EINVAL);
    exigirEscritura(presente(e.arbol.porIno(padre)));
    const auto carpeta = presente(e.arbol.porIno(nuevoPadre));
    exigirEscritura(carpeta);
    if (!nombreValido(nuevoNombre)) falla(EINVAL);
    const auto n = presente(e.arbol.hijo(padre, nombre));
    const auto destino = e.arbol.hijo(nuevoPadre, nuevoNombre);
    if (!destino || !destino->presente) return mover(req, e, n, carpeta, nuevoNombre);
    if (banderas & RENAME_NOREPLACE) falla(EEXIST);
    if (destino->ino == n.ino) return static_cast<void>(fuse_reply_err(req, 0));
    if (destino->esCarpeta) falla(n.esCarpeta ? ENOTEMPTY : EISDIR);
    if (n.esCarpeta) falla(ENOTDIR);
    reemplazar(req, e, n, *destino);
  });
}

}  // namespace

void Volumen::Estado::alSubir(const Pendiente& p, const fp::Item& item, bool final) {
  const auto id = item.itemIdentifier();
  if (p.id.empty()) {
    arbol.cambiarId(idLocal(p.clave), id);
    auto conId = p;
    conId.id = id;
    pendientes.actualizar(conId);
  }
  {
    std::lock_guard c(candado);
    if (!final || abiertas.contains(p.clave) || sucias.contains(p.clave)) {
      arbol.aplicar(item);
      return;
    }
    // Nobody has the staging copy open: its bytes are the new version's, so they move into
    // the content cache instead of being fetched again.
    cache.guardar(id, item.itemVersion().contentVersion, pendientes.copia(p.clave));
    arbol.fijarClave(id, "");
  }
  arbol.aplicar(item);
  pendientes.quitar(p.clave);
}

void operacionesDeCambios(fuse_lowlevel_ops& ops) {
  ops.mkdir = mkdir;
  ops.unlink = unlink;
  ops.rmdir = rmdir;
  ops.rename = rename;
}

}  // namespace vemlo::finder::host
