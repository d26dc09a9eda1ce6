// File contents: reads from the content cache (fetched through the extension on first use),
// writes into a staging copy that becomes a pending upload when the file is closed.
#include <fcntl.h>
#include <unistd.h>

#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void fallaSistema(int codigo) {
  throw std::system_error(codigo, std::generic_category());
}

Abierto& abierto(fuse_file_info* fi) {
  return *reinterpret_cast<Abierto*>(fi->fh);
}

bool paraEscribir(int flags) {
  return (flags & O_ACCMODE) != O_RDONLY;
}

// Opens the node's staging copy for this request and replies (as to a create when `crear`).
void abrirCopia(fuse_req_t req, Volumen::Estado& e, fuse_ino_t ino, const std::string& clave,
                fuse_file_info fi, bool vaciar, bool crear = false) {
  const int fd = ::open(e.pendientes.copia(clave).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) fallaSistema(errno);
  if (vaciar && ftruncate(fd, 0) != 0) {
    close(fd);
    fallaSistema(errno);
  }
  const auto n = e.arbol.porIno(ino);
  if (!n) {
    close(fd);
    fallaSistema(ENOENT);
  }
  auto* a = new Abierto{fd, ino, n->id, clave, vaciar};
  {
    std::lock_guard candado(e.candado);
    ++e.abiertas[clave];
  }
  fi.fh = reinterpret_cast<std::uint64_t>(a);
  fi.keep_cache = 1;
  if (!crear) return static_cast<void>(fuse_reply_open(req, &fi));
  const auto ep = e.entrada(*n);
  fuse_reply_create(req, &ep, &fi);
}

// Runs `luego` with the node's staging key, made (with the current bytes, or empty) if needed.
void conCopia(Volumen::Estado& e, const Nodo& n, bool vaciar,
              std::function<void(std::string, std::exception_ptr)> luego) {
  if (!n.clave.empty() || vaciar) return luego(e.prepararCopia(n, vaciar, std::nullopt), nullptr);
  e.conContenido(n, [&e, n, luego = std::move(luego)](auto ruta, std::exception_ptr error) {
    if (error) return luego("", error);
    std::string clave;
    try {
      clave = e.prepararCopia(n, false, ruta);
    } catch (...) {
      return luego("", std::current_exception());
    }
    luego(clave, nullptr);
  });
}

void abrirCache(fuse_req_t req, Volumen::Estado& e, const Nodo& n, const fs::path& ruta,
                fuse_file_info fi) {
  const int fd = ::open(ruta.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    e.cache.cerrar(n.id);
    fallaSistema(errno);
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // files are mostly read whole
  fi.fh = reinterpret_cast<std::uint64_t>(new Abierto{fd, n.ino, n.id, "", false});
  fi.keep_cache = 1;
  fuse_reply_open(req, &fi);
}

void open(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  contar(req, Llamada::open);
  atender(req, [&] {
    auto& e = estadoDe(req);
    const auto n = e.arbol.porIno(ino);
    if (!n || !n->presente) fallaSistema(ENOENT);
    if (n->esCarpeta) fallaSistema(EISDIR);
    const bool escribir = paraEscribir(fi->flags);
    if (escribir && !(n->capacidades & fp::writing)) fallaSistema(EACCES);
    const bool vaciar = escribir && (fi->flags & O_TRUNC);
    if (escribir || !n->clave.empty()) {
      return conCopia(e, *n, vaciar, [req, &e, ino, fi = *fi, vaciar](auto clave, auto error) {
        if (error) return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
        atender(req, [&] { abrirCopia(req, e, ino, clave, fi, vaciar); });
      });
    }
    e.cache.abrir(n->id);  // from before the lookup, so no eviction takes the file meanwhile
    e.conContenido(*n, [req, &e, n = *n, fi = *fi](auto ruta, std::exception_ptr error) {
      if (error) {
        e.cache.cerrar(n.id);
        return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
      }
      atender(req, [&] { abrirCache(req, e, n, *ruta, fi); });
    });
  });
}

void create(fuse_req_t req, fuse_ino_t padre, const char* nombre, mode_t, fuse_file_info* fi) {
  atender(req, [&] {
    auto& e = estadoDe(req);
    const auto carpeta = e.arbol.porIno(padre);
    if (!carpeta || !carpeta->presente) fallaSistema(ENOENT);
    if (!(carpeta->capacidades & fp::writing)) fallaSistema(EACCES);
    if (!nombreValido(nombre)) fallaSistema(EINVAL);
    if (const auto hay = e.arbol.hijo(padre, nombre); hay && hay->presente) {
      // The name appeared since the kernel looked: open it emptied, as O_CREAT without
      // O_EXCL does with an existing file.
      if ((fi->flags & O_EXCL) || hay->esCarpeta) fallaSistema(EEXIST);
      if (!(hay->capacidades & fp::writing)) fallaSistema(EACCES);
      return conCopia(e, *hay, true, [req, &e, ino = hay->ino, fi = *fi](auto clave, auto error) {
        if (error) return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
        atender(req, [&] { abrirCopia(req, e, ino, clave, fi, true, true); });
      });
    }
    std::string clave;
    e.pendientes.nuevaCopia(clave);
    const auto n = e.arbol.crearLocal(carpeta->id, nombre, clave);
    const int fd = ::open(e.pendientes.copia(clave).c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) fallaSistema(errno);
    {
      std::lock_guard candado(e.candado);
      ++e.abiertas[clave];
    }
    fi->fh = reinterpret_cast<std::uint64_t>(new Abierto{fd, n.ino, n.id, clave, true});
    const auto ep = e.entrada(n);
    fuse_reply_create(req, &ep, fi);
  });
}

void read(fuse_req_t req, fuse_ino_t, size_t tamano, off_t desde, fuse_file_info* fi) {
  contar(req, Llamada::read);
  fuse_bufvec buf = FUSE_BUFVEC_INIT(tamano);
  buf.buf[0].flags = static_cast<fuse_buf_flags>(FUSE_BUF_IS_FD | FUSE_BUF_FD_SEEK);
  buf.buf[0].fd = abierto(fi).fd;
  buf.buf[0].pos = desde;
  fuse_reply_data(req, &buf, FUSE_BUF_SPLICE_MOVE);
}

void write(fuse_req_t req, fuse_ino_t, const char* datos, size_t tamano, off_t desde,
           fuse_file_info* fi) {
  contar(req, Llamada::write);
  auto& a = abierto(fi);
  if (a.clave.empty()) return static_cast<void>(fuse_reply_err(req, EBADF));
  const auto n = pwrite(a.fd, datos, tamano, desde);
  if (n < 0) return static_cast<void>(fuse_reply_err(req, errno));
  a.sucio = true;
  fuse_reply_write(req, static_cast<size_t>(n));
}

// A handle that wrote makes its bytes durable and its entry pending at each close.
void flush(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  atender(req, [&] {
    auto& a = abierto(fi);
    if (a.sucio) {
      estadoDe(req).confirmar(a.clave, a.ino);  // syncs the copy before its record
      a.sucio = false;
    }
    fuse_reply_err(req, 0);
  });
}

void release(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  auto& e = estadoDe(req);
  std::unique_ptr<Abierto> a(&abierto(fi));
  close(a->fd);
  if (a->clave.empty()) {
    e.cache.cerrar(a->id);
    return static_cast<void>(fuse_reply_err(req, 0));
  }
  atender(req, [&] {
    if (a->sucio) e.confirmar(a->clave, a->ino);
    bool subir = false;
    {
      std::lock_guard candado(e.candado);
      if (--e.abiertas[a->clave] == 0) {
        e.abiertas.erase(a->clave);
        subir = e.sucias.erase(a->clave) > 0;
      }
    }
    if (subir) e.subidor->encolar(a->clave);
    fuse_reply_err(req, 0);
  });
}

void fsync(fuse_req_t req, fuse_ino_t, int, fuse_file_info* fi) {
  fuse_reply_err(req, ::fsync(abierto(fi).fd) == 0 ? 0 : errno);
}

void truncar(fuse_req_t req, Volumen::Estado& e, const Nodo& n, off_t tamano) {
  conCopia(e, n, tamano == 0, [req, &e, ino = n.ino, tamano](auto clave, auto error) {
    if (error) return static_cast<void>(fuse_reply_err(req, errnoDe(error)));
    atender(req, [&] {
      if (truncate(e.pendientes.copia(clave).c_str(), tamano) != 0) fallaSistema(errno);
      e.confirmar(clave, ino);
      e.subidor->encolar(clave);
      const auto st = e.atributos(*e.arbol.porIno(ino));
      fuse_reply_attr(req, &st, vigenciaKernel);
    });
  });
}

// Only the size can change; owners, modes and times are the service's.
void setattr(fuse_req_t req, fuse_ino_t ino, struct stat* attr, int cambios, fuse_file_info* fi) {
  atender(req, [&] {
    auto& e = estadoDe(req);
    const auto n = e.arbol.porIno(ino);
    if (!n || !n->presente) fallaSistema(ENOENT);
    if ((cambios & FUSE_SET_ATTR_SIZE) && !(n->capacidades & fp::writing)) fallaSistema(EACCES);
    if ((cambios & FUSE_SET_ATTR_SIZE) && fi && !abierto(fi).clave.empty()) {
      if (ftruncate(abierto(fi).fd, attr->st_size) != 0) fallaSistema(errno);
      abierto(fi).sucio = true;
    } else if (cambios & FUSE_SET_ATTR_SIZE) {
      return truncar(req, e, *n, attr->st_size);
    }
    const auto st = e.atributos(*e.arbol.porIno(ino));
    fuse_reply_attr(req, &st, vigenciaKernel);
  });
}

}  // namespace

std::string Volumen::Estado::prepararCopia(const Nodo& n, bool vaciar,
                                           const std::optional<fs::path>& origen) {
  if (const auto actual = arbol.porId(n.id); actual && !actual->clave.empty()) return actual->clave;
  std::string clave;
  const auto copia = pendientes.nuevaCopia(clave);
  if (!vaciar && origen) fs::copy_file(*origen, copia, fs::copy_options::overwrite_existing);
  arbol.fijarClave(n.id, clave);
  return clave;
}

void Volumen::Estado::conContenido(
    const Nodo& n, std::function<void(std::optional<fs::path>, std::exception_ptr)> luego) {
  if (auto ruta = cache.buscar(n.id, n.version)) return luego(std::move(ruta), nullptr);
  ext.fetchContents(n.id, std::nullopt,
                    [this, id = n.id, luego = std::move(luego)](auto archivo, fp::ItemPtr item,
                                                                std::exception_ptr error) {
                      if (error) return luego(std::nullopt, error);
                      std::optional<fs::path> ruta;
                      try {
                        ruta = cache.guardar(id, item->itemVersion().contentVersion, *archivo);
                        arbol.aplicar(*item);
                      } catch (...) {
                        return luego(std::nullopt, std::current_exception());
                      }
                      luego(ruta, nullptr);
                    });
}

void Volumen::Estado::confirmar(const std::string& clave, fuse_ino_t ino) {
  const auto n = arbol.porIno(ino);
  if (!n || !n->presente) return;  // deleted while open: nothing of it is to be kept
  const auto hay = pendientes.buscar(clave);
  Pendiente p = hay.value_or(Pendiente{});
  p.clave = clave;
  if (!esLocal(n->id)) p.id = n->id;
  p.padre = n->padre;
  p.nombre = n->nombre;
  pendientes.confirmar(p);
  std::lock_guard c(candado);
  sucias[clave] = true;
}

void operacionesDeArchivos(fuse_lowlevel_ops& ops) {
  ops.open = open;
  ops.create = create;
  ops.read = read;
  ops.write = write;
  ops.flush = flush;
  ops.release = release;
  ops.fsync = fsync;
  ops.setattr = setattr;
}

}  // namespace vemlo::finder::host
