// Read-only extended attributes for scripts and file managers: `user.vemlo.id`, the item's
// identifier (none for a file not uploaded yet), and `user.vemlo.estado`, where a file's bytes
// are: "pendiente" (written here, not on the service yet), "local" (in the content cache) or
// "nube" (only on the service). Nothing else can be stored on the folder's items.
#include <cstring>
#include <string_view>

#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

constexpr std::string_view prefijo = "user.vemlo.";
constexpr std::string_view atributoId = "user.vemlo.id";
constexpr std::string_view atributoEstado = "user.vemlo.estado";

std::string estadoDe(Volumen::Estado& e, const Nodo& n) {
  if (!n.clave.empty()) return "pendiente";
  return e.cache.tiene(n.id, n.version) ? "local" : "nube";
}

std::optional<std::string> valorDe(Volumen::Estado& e, const Nodo& n, std::string_view nombre) {
  if (nombre == atributoId && !esLocal(n.id)) return n.id;
  if (nombre == atributoEstado && !n.esCarpeta) return estadoDe(e, n);
  return std::nullopt;
}

// The value (or, asked with no room, its size), as getxattr and listxattr are answered.
void responder(Pedido& r, const std::string& valor, size_t tamano) {
  if (tamano == 0) return static_cast<void>(r.tamanoAtributo(valor.size()));
  if (tamano < valor.size()) fallaSistema(ERANGE);
  r.buffer(valor.data(), valor.size());
}

void leerAtributo(fuse_req_t req, fuse_ino_t ino, const char* nombre, size_t tamano) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto valor = valorDe(e, presente(e.arbol.porIno(ino)), nombre);
    if (!valor) fallaSistema(ENODATA);
    responder(*r, *valor, tamano);
  });
}

// The names, each ended by a NUL.
void listarAtributos(fuse_req_t req, fuse_ino_t ino, size_t tamano) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto n = presente(e.arbol.porIno(ino));
    std::string nombres;
    for (const auto nombre : {atributoId, atributoEstado})
      if (valorDe(e, n, nombre)) nombres.append(nombre).push_back('\0');
    responder(*r, nombres, tamano);
  });
}

// Vemlo's own are read-only; no other can be kept.
void negarAtributo(fuse_req_t req, const char* nombre) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado&) {
    r->error(std::string_view(nombre).starts_with(prefijo) ? EPERM : ENOTSUP);
  });
}

void fijarAtributo(fuse_req_t req, fuse_ino_t, const char* nombre, const char*, size_t, int) {
  negarAtributo(req, nombre);
}

void quitarAtributo(fuse_req_t req, fuse_ino_t, const char* nombre) {
  negarAtributo(req, nombre);
}

}  // namespace

void operacionesDeAtributos(fuse_lowlevel_ops& ops) {
  ops.getxattr = leerAtributo;
  ops.listxattr = listarAtributos;
  ops.setxattr = fijarAtributo;
  ops.removexattr = quitarAtributo;
}

}  // namespace vemlo::finder::host
