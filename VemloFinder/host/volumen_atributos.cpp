// Extended attributes for scripts and file managers: `user.vemlo.id`, the item's identifier
// (none for a file not uploaded yet), `user.vemlo.estado`, where a file's bytes are:
// "pendiente" (written here, not on the service yet), "fijado" (kept on this device and
// here), "local" (in the content cache) or "nube" (only on the service), and
// `user.vemlo.fijado`, present ("1") on an item kept on this device: setting it keeps the
// item (a folder: everything below it), removing it lets it go. Nothing else can be stored.
//
// `ls -l` asks for the security context and the ACL of every entry. Other namespaces than
// user's are not kept here at all, and are answered "not supported": ls then stops asking for
// the rest of the folder, where "none" would cost a request per entry. Other user names are
// answered "none". Both at once, with no lock and nothing allocated.
#include <sys/xattr.h>

#include <cstring>
#include <string_view>

#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

constexpr std::string_view prefijo = "user.vemlo.";
constexpr std::string_view atributoId = "user.vemlo.id";
constexpr std::string_view atributoEstado = "user.vemlo.estado";
constexpr std::string_view atributoFijado = "user.vemlo.fijado";

std::string dondeEsta(Volumen::Estado& e, const Nodo& n) {
  if (!n.clave.empty()) return "pendiente";
  if (!e.cache.tiene(n.id, n.version)) return "nube";
  return e.cache.protegido(n.id) ? "fijado" : "local";
}

std::optional<std::string> valorDe(Volumen::Estado& e, const Nodo& n, std::string_view nombre) {
  if (nombre == atributoId && !esLocal(n.id)) return n.id;
  if (nombre == atributoEstado && !n.esCarpeta) return dondeEsta(e, n);
  if (nombre == atributoFijado && e.fijados.contiene(n.id)) return "1";
  return std::nullopt;
}

// The value (or, asked with no room, its size), as getxattr and listxattr are answered.
void responder(Pedido& r, const std::string& valor, size_t tamano) {
  if (tamano == 0) return static_cast<void>(r.tamanoAtributo(valor.size()));
  if (tamano < valor.size()) fallaSistema(ERANGE);
  r.buffer(valor.data(), valor.size());
}

void leerAtributo(fuse_req_t req, fuse_ino_t ino, const char* nombre, size_t tamano) {
  if (!std::string_view(nombre).starts_with(prefijo)) {
    ++estadoDe(req).llamadas[static_cast<std::size_t>(Llamada::getxattr)];
    const bool deUsuario = std::string_view(nombre).starts_with("user.");
    return static_cast<void>(fuse_reply_err(req, deUsuario ? ENODATA : ENOTSUP));
  }
  atender(req, Llamada::getxattr, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto valor = valorDe(e, presente(e.arbol.porIno(ino)), nombre);
    if (!valor) fallaSistema(ENODATA);
    responder(*r, *valor, tamano);
  });
}

// The names, each ended by a NUL.
void listarAtributos(fuse_req_t req, fuse_ino_t ino, size_t tamano) {
  atender(req, Llamada::listxattr, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto n = presente(e.arbol.porIno(ino));
    std::string nombres;
    for (const auto nombre : {atributoId, atributoEstado, atributoFijado})
      if (valorDe(e, n, nombre)) nombres.append(nombre).push_back('\0');
    responder(*r, nombres, tamano);
  });
}

// Keeps the item on this device. A file not uploaded yet has no identifier to keep it by:
// it is in the staging store anyway, and can be pinned once uploaded.
void fijarAtributo(fuse_req_t req, fuse_ino_t ino, const char* nombre, const char*, size_t,
                   int opciones) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    if (!std::string_view(nombre).starts_with(prefijo)) fallaSistema(ENOTSUP);
    if (nombre != atributoFijado) fallaSistema(EPERM);
    const auto n = presente(e.arbol.porIno(ino));
    if (esLocal(n.id)) fallaSistema(EAGAIN);
    const bool ya = e.fijados.contiene(n.id);
    if ((opciones & XATTR_CREATE) && ya) fallaSistema(EEXIST);
    if ((opciones & XATTR_REPLACE) && !ya) fallaSistema(ENODATA);
    if (e.fijados.fijar(n.id)) e.timbre.tocar();
    r->error(0);
  });
}

void quitarAtributo(fuse_req_t req, fuse_ino_t ino, const char* nombre) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    if (!std::string_view(nombre).starts_with(prefijo)) fallaSistema(ENOTSUP);
    if (nombre != atributoFijado) fallaSistema(EPERM);
    if (!e.fijados.soltar(presente(e.arbol.porIno(ino)).id)) fallaSistema(ENODATA);
    e.timbre.tocar();
    r->error(0);
  });
}

}  // namespace

void operacionesDeAtributos(fuse_lowlevel_ops& ops) {
  ops.getxattr = leerAtributo;
  ops.listxattr = listarAtributos;
  ops.setxattr = fijarAtributo;
  ops.removexattr = quitarAtributo;
}

}  // namespace vemlo::finder::host
