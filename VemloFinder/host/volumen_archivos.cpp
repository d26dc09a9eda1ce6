// File contents: reads from the content cache (fetched through the extension on first use,
// and read while the download runs), writes into a staging copy that becomes a pending upload
// when the file is closed.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// An open or a truncate that finds its copy handed over starts again, this many times.
constexpr int vueltasDeCopia = 3;
// A read further than this past the bytes a download has on disk asks for its range alone:
// nearer, the download gets there about as soon as a request of its own would answer.
constexpr std::int64_t lejos = 4 << 20;

Abierto& abierto(fuse_file_info* fi) {
  return *reinterpret_cast<Abierto*>(fi->fh);
}

bool paraEscribir(int flags) {
  return (flags & O_ACCMODE) != O_RDONLY;
}

// Closes a handle: a cached file is released to the cache, a staging copy to its entry.
void cerrar(Volumen::Estado& e, Abierto& a) {
  if (!a.clave.empty()) return e.soltarCopia(a);
  a.fd = Descriptor();
  if (a.descarga) e.descargas.dejar(a.id, a.descarga);
  e.cache.cerrar(a.id);
}

// Answers an open (or a create) with the handle; when the kernel no longer waits for it, no
// release will come, so the handle is closed here.
void responderAbierto(Pedido& r, Volumen::Estado& e, Abierto a, fuse_file_info fi, bool crear) {
  const auto n = e.arbol.porIno(a.ino);
  // The kernel keeps no pages of a file still arriving as valid for the next open.
  fi.keep_cache = !a.descarga || a.descarga->completa();
  auto* const manija = e.archivos.guardar(std::make_unique<Abierto>(std::move(a)));
  fi.fh = reinterpret_cast<std::uint64_t>(manija);
  const int hecho = crear ? r.creado(e.entrada(*n), fi) : r.abierto(fi);
  if (hecho != 0) cerrar(e, *e.archivos.soltar(manija));
}

// Runs `luego` with the node's staging key: the one it has, else a new one, empty or with the
// bytes the service has.
void conCopia(Volumen::Estado& e, fuse_ino_t ino, bool vaciar,
              std::function<void(std::string, std::exception_ptr)> luego) {
  const auto n = presente(e.arbol.porIno(ino));
  if (!n.clave.empty()) return luego(n.clave, nullptr);
  if (vaciar) return luego(e.prepararCopia(n, std::nullopt), nullptr);
  e.conContenido(n, [&e, n, luego = std::move(luego)](auto ruta, std::exception_ptr error) {
    if (error) return luego("", error);
    std::string clave;
    try {
      clave = e.prepararCopia(n, ruta);
    } catch (...) {
      return luego("", std::current_exception());
    }
    luego(clave, nullptr);
  });
}

// Takes the node's staging copy for `usar` (which owns the handle from then on), starting
// again when the copy was handed over to the cache on the way.
void conCopiaAbierta(Respuesta r, Volumen::Estado& e, fuse_ino_t ino, bool vaciar,
                     std::function<void(Abierto)> usar, int vueltas = vueltasDeCopia) {
  conCopia(e, ino, vaciar, [=, &e](const std::string& clave, std::exception_ptr error) {
    if (error) return static_cast<void>(r->error(errnoDe(error)));
    atender(*r, [&] {
      auto a = e.tomarCopia(ino, clave, vaciar);
      if (!a && vueltas > 0) return conCopiaAbierta(r, e, ino, vaciar, usar, vueltas - 1);
      if (!a) fallaSistema(EAGAIN);
      usar(std::move(*a));
    });
  });
}

void abrirCopia(Respuesta r, Volumen::Estado& e, fuse_ino_t ino, fuse_file_info fi, bool vaciar,
                bool crear) {
  conCopiaAbierta(r, e, ino, vaciar, [r, &e, fi, vaciar, crear](Abierto a) {
    a.sucio = vaciar;
    responderAbierto(*r, e, std::move(a), fi, crear);
  });
}

void abrirGuardado(Pedido& r, Volumen::Estado& e, const Nodo& n, const fs::path& ruta,
                   fuse_file_info fi) {
  const int fd = ::open(ruta.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    e.cache.cerrar(n.id);
    return static_cast<void>(r.error(errno));
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // files are mostly read whole
  responderAbierto(r, e, Abierto{Descriptor(fd), n.ino, n.id, "", false}, fi, false);
}

// The download began (or ended, `fallo` when no byte arrived): the reader follows it.
void abrirDescarga(Pedido& r, Volumen::Estado& e, const Nodo& n, std::shared_ptr<Descarga> d,
                   std::exception_ptr fallo, fuse_file_info fi) {
  const int fd = fallo ? -1 : ::fcntl(d->fd(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    e.descargas.dejar(n.id, d);
    e.cache.cerrar(n.id);
    return static_cast<void>(r.error(fallo ? errnoDe(fallo) : errno));
  }
  responderAbierto(r, e, Abierto{Descriptor(fd), n.ino, n.id, "", false, std::move(d), n.tamano},
                   fi, false);
}

// A file not cached is opened as soon as its download has begun.
void abrirCache(Respuesta r, Volumen::Estado& e, const Nodo& n, fuse_file_info fi) {
  e.cache.abrir(n.id);  // from before the lookup, so no eviction takes the file meanwhile
  std::shared_ptr<Descarga> d;
  try {
    if (const auto ruta = e.cache.buscar(n.id, n.version))
      return abrirGuardado(*r, e, n, *ruta, fi);
    d = e.seguirDescarga(n);
  } catch (...) {
    e.cache.cerrar(n.id);
    throw;
  }
  d->alLlegar(
      1, [r, &e, n, d, fi](std::exception_ptr fallo) { abrirDescarga(*r, e, n, d, fallo, fi); });
}

void abrir(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  atender(req, Llamada::open, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto n = presente(e.arbol.porIno(ino));
    if (n.esCarpeta) fallaSistema(EISDIR);
    const bool escribir = paraEscribir(fi->flags);
    if (escribir && !(n.capacidades & fp::writing)) fallaSistema(EACCES);
    // A file with newer bytes than the service's is read from its copy too.
    if (escribir || !n.clave.empty())
      return abrirCopia(r, e, ino, *fi, escribir && (fi->flags & O_TRUNC), false);
    abrirCache(r, e, n, *fi);
  });
}

void crear(fuse_req_t req, fuse_ino_t padre, const char* nombre, mode_t, fuse_file_info* fi) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto carpeta = presente(e.arbol.porIno(padre));
    if (!(carpeta.capacidades & fp::writing)) fallaSistema(EACCES);
    exigirNombre(nombre);
    if (const auto hay = e.arbol.hijo(padre, nombre); hay && hay->presente) {
      // The name appeared since the kernel looked: open it emptied, as O_CREAT without
      // O_EXCL does with an existing file.
      if ((fi->flags & O_EXCL) || hay->esCarpeta) fallaSistema(EEXIST);
      if (!(hay->capacidades & fp::writing)) fallaSistema(EACCES);
      return abrirCopia(r, e, hay->ino, *fi, true, true);
    }
    std::string clave;
    e.pendientes.nuevaCopia(clave);
    const auto n = e.arbol.crearLocal(carpeta.id, nombre, clave);
    auto a = e.tomarCopia(n.ino, clave, false);
    if (!a) fallaSistema(EAGAIN);
    a->sucio = true;  // an empty new file is a file too
    responderAbierto(*r, e, std::move(*a), *fi, true);
  });
}

void enviar(Pedido& r, int fd, size_t tamano, off_t desde) {
  fuse_bufvec buf = FUSE_BUFVEC_INIT(tamano);
  buf.buf[0].flags = static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
  buf.buf[0].fd = fd;
  buf.buf[0].pos = desde;
  r.datos(buf);
}

// Answers once the bytes up to `hasta` are on disk (the request waits in the download, not on
// a thread); EIO when the download failed before them.
void enviarAlLlegar(Respuesta r, const std::shared_ptr<Descarga>& d, size_t tamano, off_t desde,
                    std::int64_t hasta) {
  d->alLlegar(hasta, [r, d, tamano, desde](std::exception_ptr fallo) {
    if (fallo) return static_cast<void>(r->error(EIO));
    enviar(*r, d->fd(), tamano, desde);
  });
}

// A read far ahead of the download gets its range alone; when that fails, it waits.
void leerAparte(Respuesta r, Volumen::Estado& e, const Abierto& a, size_t tamano, off_t desde,
                std::int64_t hasta) {
  e.ext.fetchPartialContents(
      a.id, desde, hasta - desde,
      [r, d = a.descarga, tamano, desde, hasta](std::optional<std::string> bytes,
                                                std::exception_ptr) {
        if (bytes && static_cast<std::int64_t>(bytes->size()) == hasta - desde)
          return static_cast<void>(r->buffer(bytes->data(), bytes->size()));
        enviarAlLlegar(r, d, tamano, desde, hasta);
      });
}

// A reader of a file still arriving follows its download, or jumps ahead of it.
void leer(fuse_req_t req, fuse_ino_t, size_t tamano, off_t desde, fuse_file_info* fi) {
  atender(req, Llamada::read, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto& a = abierto(fi);
    if (!a.descarga) return enviar(*r, a.fd.get(), tamano, desde);
    const auto hasta = std::min<std::int64_t>(desde + static_cast<off_t>(tamano), a.tamano);
    if (desde < hasta && a.descarga->porDelante(desde, lejos))
      return leerAparte(r, e, a, tamano, desde, hasta);
    enviarAlLlegar(r, a.descarga, tamano, desde, hasta);
  });
}

void escribir(fuse_req_t req, fuse_ino_t, const char* datos, size_t tamano, off_t desde,
              fuse_file_info* fi) {
  atender(req, Llamada::write, [&](const Respuesta& r, Volumen::Estado&) {
    auto& a = abierto(fi);
    if (a.clave.empty()) fallaSistema(EBADF);
    const auto n = pwrite(a.fd.get(), datos, tamano, desde);
    if (n < 0) fallaSistema(errno);
    a.sucio = true;
    r->escrito(static_cast<size_t>(n));
  });
}

// A handle that wrote makes its bytes durable and its entry pending at each close.
void alCerrar(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    auto& a = abierto(fi);
    if (a.sucio) {
      e.confirmar(a.clave, a.ino);  // the copy and its record are on disk when it returns
      a.sucio = false;
    }
    r->error(0);
  });
}

void soltar(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    if (const auto a = e.archivos.soltar(&abierto(fi))) cerrar(e, *a);
    r->error(0);
  });
}

void sincronizar(fuse_req_t req, fuse_ino_t, int, fuse_file_info* fi) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado&) {
    r->error(::fsync(abierto(fi).fd.get()) == 0 ? 0 : errno);
  });
}

void responderAtributos(Pedido& r, const Volumen::Estado& e, fuse_ino_t ino) {
  r.atributos(e.atributos(presente(e.arbol.porIno(ino))), vigenciaKernel);
}

// A truncate by name: the file's copy is taken as an open would, cut, and closed again.
void truncar(Respuesta r, Volumen::Estado& e, fuse_ino_t ino, off_t tamano) {
  conCopiaAbierta(r, e, ino, tamano == 0, [r, &e, ino, tamano](Abierto a) {
    const int fallo = ftruncate(a.fd.get(), tamano) == 0 ? 0 : errno;
    a.sucio = fallo == 0;
    e.soltarCopia(a);
    if (fallo != 0) fallaSistema(fallo);
    responderAtributos(*r, e, ino);
  });
}

// Owners and modes are the service's: a change to another value is refused, the value shown
// is taken. Times are taken and dropped, so that tools which copy them do not fail.
void exigirConservables(const struct stat& actual, const struct stat& pedido, int cambios) {
  if ((cambios & FUSE_SET_ATTR_MODE) && (pedido.st_mode & 07777) != (actual.st_mode & 07777))
    fallaSistema(EPERM);
  if ((cambios & FUSE_SET_ATTR_UID) && pedido.st_uid != actual.st_uid) fallaSistema(EPERM);
  if ((cambios & FUSE_SET_ATTR_GID) && pedido.st_gid != actual.st_gid) fallaSistema(EPERM);
}

void cambiarAtributos(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int cambios,
                      fuse_file_info* fi) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto n = presente(e.arbol.porIno(ino));
    exigirConservables(e.atributos(n), *attr, cambios);
    if (!(cambios & FUSE_SET_ATTR_SIZE)) return responderAtributos(*r, e, ino);
    if (!(n.capacidades & fp::writing)) fallaSistema(EACCES);
    if (!fi || abierto(fi).clave.empty()) return truncar(r, e, ino, attr->st_size);
    if (ftruncate(abierto(fi).fd.get(), attr->st_size) != 0) fallaSistema(errno);
    abierto(fi).sucio = true;
    responderAtributos(*r, e, ino);
  });
}

}  // namespace

void exigirNombre(const char* nombre) {
  if (std::strlen(nombre) > limiteNombre) fallaSistema(ENAMETOOLONG);
  if (!nombreValido(nombre)) fallaSistema(EINVAL);
}

std::string Volumen::Estado::prepararCopia(const Nodo& n, const std::optional<fs::path>& origen) {
  std::string clave;
  const auto copia = pendientes.nuevaCopia(clave);
  try {
    if (origen) fs::copy_file(*origen, copia, fs::copy_options::overwrite_existing);
  } catch (...) {
    std::error_code ignorado;
    fs::remove(copia, ignorado);
    throw;
  }
  std::lock_guard bloqueo(candado);
  const auto actual = arbol.porIno(n.ino);
  if (!actual || !actual->clave.empty()) {
    // Gone, or another open made one first: that one holds the file's bytes.
    fs::remove(copia);
    if (!actual) fallaSistema(ENOENT);
    return actual->clave;
  }
  arbol.fijarClave(actual->id, clave);
  return clave;
}

std::optional<Abierto> Volumen::Estado::tomarCopia(fuse_ino_t ino, const std::string& clave,
                                                   bool vaciar) {
  std::lock_guard bloqueo(candado);
  const auto n = arbol.porIno(ino);
  if (!n || n->clave != clave) return std::nullopt;
  Descriptor fd(::open(pendientes.copia(clave).c_str(), O_RDWR | O_CLOEXEC));
  if (!fd || (vaciar && ftruncate(fd.get(), 0) != 0)) fallaSistema(errno);
  ++abiertas[clave];
  return Abierto{std::move(fd), ino, n->id, clave, false};
}

void Volumen::Estado::soltarCopia(Abierto& a) {
  a.fd = Descriptor();
  std::exception_ptr fallo;
  try {
    if (a.sucio) confirmar(a.clave, a.ino);
  } catch (...) {
    fallo = std::current_exception();
  }
  bool borrar = false;
  {
    std::lock_guard bloqueo(candado);
    if (--abiertas[a.clave] == 0) {
      abiertas.erase(a.clave);
      borrar = descartadas.erase(a.clave) > 0;
      if (!borrar) ultimoCierre(a);
    }
  }
  std::error_code ignorado;
  if (borrar) fs::remove(pendientes.copia(a.clave), ignorado);
  if (fallo) std::rethrow_exception(fallo);
}

void Volumen::Estado::ultimoCierre(const Abierto& a) {
  const auto entregable = entregables.find(a.clave);
  if (sucias.erase(a.clave) > 0) {
    subidor->encolar(a.clave);
  } else if (entregable != entregables.end() &&
             entregable->second.cambios == pendientes.cambios(a.clave)) {
    return entregar(a.clave, entregable->second);
  } else if (!a.sucio && !pendientes.buscar(a.clave)) {
    soltarSinCambios(a);
  }
  entregables.erase(a.clave);
}

// A copy made for writing that nothing was written into (nor failed to be kept): the node
// reads from the cache again.
void Volumen::Estado::soltarSinCambios(const Abierto& a) {
  const auto n = arbol.porIno(a.ino);
  if (!n || n->clave != a.clave || esLocal(n->id)) return;
  arbol.fijarClave(n->id, "");
  std::error_code ignorado;
  fs::remove(pendientes.copia(a.clave), ignorado);
}

void Volumen::Estado::descartarCopia(const std::string& clave) {
  std::lock_guard bloqueo(candado);
  pendientes.quitarRegistro(clave);
  sucias.erase(clave);
  if (abiertas.contains(clave)) return static_cast<void>(descartadas.insert(clave));
  std::error_code ignorado;
  fs::remove(pendientes.copia(clave), ignorado);
}

void Volumen::Estado::conContenido(
    const Nodo& n, std::function<void(std::optional<fs::path>, std::exception_ptr)> luego) {
  if (auto ruta = cache.buscar(n.id, n.version)) return luego(std::move(ruta), nullptr);
  const auto d = seguirDescarga(n);
  d->alLlegar(std::numeric_limits<std::int64_t>::max(),
              [this, d, id = n.id, luego = std::move(luego)](std::exception_ptr fallo) {
                descargas.dejar(id, d);
                if (fallo) return luego(std::nullopt, fallo);
                luego(d->guardado(), nullptr);
              });
}

void Volumen::Estado::confirmar(const std::string& clave, fuse_ino_t ino) {
  Pendientes::Turno turno = 0;
  {
    // Under the lock, so that the record has the node's identity as it is: the first upload
    // of a new file may be giving it the service's identifier right now.
    std::lock_guard bloqueo(candado);
    const auto n = arbol.porIno(ino);
    // Deleted while open: nothing of it is to be kept.
    if (!n || !n->presente || descartadas.contains(clave)) return;
    Pendiente p = pendientes.buscar(clave).value_or(Pendiente{});
    p.clave = clave;
    p.id = esLocal(n->id) ? "" : n->id;
    p.padre = n->padre;
    p.nombre = n->nombre;
    p.detenida = false;  // new bytes: worth another try
    turno = pendientes.registrar(p);
    sucias.insert(clave);
  }
  // Outside it, so that closes of the moment share their syncs.
  pendientes.esperar(turno);
}

void operacionesDeArchivos(fuse_lowlevel_ops& ops) {
  ops.open = abrir;
  ops.create = crear;
  ops.read = leer;
  ops.write = escribir;
  ops.flush = alCerrar;
  ops.release = soltar;
  ops.fsync = sincronizar;
  ops.setattr = cambiarAtributos;
}

}  // namespace vemlo::finder::host
