// Arbol: the host's table of the items it learnt from the extension, with the inode number
// the kernel knows each by. A number, once given to an identifier, stays with it for the
// life of the mount, so nodes are never dropped: an item that left the tree is only detached
// from its folder. One lock guards the table; nothing slow runs under it.
#pragma once

#include <fuse_lowlevel.h>

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "finder/proveedor.h"

namespace vemlo::finder::host {

struct Nodo {
  fuse_ino_t ino = 0;
  std::string id;      // item identifier
  std::string padre;   // the parent's identifier
  std::string nombre;  // file name in its folder
  bool esCarpeta = false;
  std::int64_t tamano = 0;
  std::optional<fp::Date> fecha;
  std::uint32_t capacidades = fp::reading;
  std::string version;       // content version: the cached bytes are valid while it stays
  std::string clave;         // the staging copy that holds newer bytes than the service, if any
  bool presente = true;      // false once it left the tree
  std::uint64_t cambio = 0;  // the table's clock at the node's last change
};

// A change of an item for the kernel's caches and the content cache: how it was, how it is.
using Aviso = std::pair<std::optional<Nodo>, std::optional<Nodo>>;

// The longest name, in bytes, of one path component here.
inline constexpr std::size_t limiteNombre = 255;

// True for a name that can be one path component here (not empty, ".", "..", nor longer than
// limiteNombre, with neither "/" nor NUL).
bool nombreValido(const std::string& nombre);

// The name a file takes when the service already has another item under its own: "informe
// (conflicto 2026-12-07 10.15).pdf" (in the person's language, local time), with " n" after
// the time for n > 1; the stem is shortened when needed so that it stays a valid name.
std::string nombreEnConflicto(const std::string& nombre,
                              std::chrono::system_clock::time_point cuando, int n);

// Identifier of a file made here that the service does not know yet.
std::string idLocal(const std::string& clave);
bool esLocal(const std::string& id);

class Arbol {
 public:
  Arbol();  // holds the root container as inode 1

  // Adds or updates the item from the extension's report; keeps a staging key. Nothing for
  // an item whose name cannot be a file name here (it is left out, and detached if known).
  std::optional<Nodo> aplicar(const fp::Item& item);
  // The folder's children are now `items` plus the files made here and not yet uploaded;
  // marks the folder listed now. Gives the nodes that left it, and the known ones whose
  // content version changed.
  std::vector<Aviso> fijarHijos(const std::string& carpetaId,
                                const std::vector<fp::ItemPtr>& items);
  // Detaches the item; gives it as it was, if it was present.
  std::optional<Nodo> quitar(const std::string& id);

  // The table's clock, which moves at every change of a node.
  std::uint64_t reloj() const;
  // As aplicar and quitar, for a report of the service that began when the clock read `desde`:
  // a node changed since then (renamed, deleted or uploaded here, or listed afresh) is newer
  // than the report and stays as it is (nothing is given).
  std::optional<Aviso> aplicarDesde(const fp::Item& item, std::uint64_t desde);
  std::optional<Nodo> quitarDesde(const std::string& id, std::uint64_t desde);

  std::optional<Nodo> porIno(fuse_ino_t ino) const;
  std::optional<Nodo> porId(const std::string& id) const;
  std::optional<Nodo> hijo(fuse_ino_t carpeta, const std::string& nombre) const;
  std::vector<Nodo> hijos(fuse_ino_t carpeta) const;
  // Every item present that came from the service (the root and local files aside).
  std::vector<std::string> idsDelServicio() const;
  // True once the folder was listed.
  bool listada(fuse_ino_t carpeta) const;
  // True when the folder was listed less than `vigencia` ago.
  bool fresco(fuse_ino_t carpeta, std::chrono::seconds vigencia) const;

  // A new file made here, in folder `padre`.
  Nodo crearLocal(const std::string& padre, const std::string& nombre, const std::string& clave);
  // Moves and renames without asking anyone (the caller did, or the item is local).
  void mover(const std::string& id, const std::string& padre, const std::string& nombre);
  // The upload gave the local file its service identifier; gives the surviving node.
  std::optional<Nodo> cambiarId(const std::string& viejo, const std::string& nuevo);
  void fijarClave(const std::string& id, const std::string& clave);
  void fijarCapacidades(fuse_ino_t ino, std::uint32_t capacidades);
  // A rename over an existing file: the moved node takes the target's identity, name and
  // place (as the kernel now knows it under that name); the target's node leaves.
  std::optional<Nodo> ocupar(const std::string& origen, const std::string& destino);

 private:
  std::optional<Nodo> aplicarCon(const fp::Item& item);  // with candado_ held
  Nodo& nodo(const std::string& id);                     // creates it; with candado_ held
  void desprender(Nodo& n);                              // with candado_ held
  void prender(Nodo& n);                                 // with candado_ held
  void tocar(Nodo& n) { n.cambio = ++reloj_; }           // with candado_ held

  mutable std::mutex candado_;  // guards everything below
  std::unordered_map<fuse_ino_t, Nodo> nodos_;
  std::unordered_map<std::string, fuse_ino_t> porId_;
  std::unordered_map<std::string, std::map<std::string, fuse_ino_t>> hijos_;
  std::unordered_map<std::string, std::chrono::steady_clock::time_point> listados_;
  fuse_ino_t siguiente_ = FUSE_ROOT_ID + 1;
  std::uint64_t reloj_ = 0;
  // Identifiers whose node took another's (ocupar), with the clock then: a report that began
  // before must not bring them back.
  std::unordered_map<std::string, std::uint64_t> retirados_;
};

}  // namespace vemlo::finder::host
