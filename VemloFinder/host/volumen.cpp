// A domain's mount: its FUSE session and loop, names, attributes and listings from the item
// table (folders listed again through the extension when older than 45 seconds, or taken
// from the index while the service cannot be reached), and the working set's changes pushed
// to the kernel's caches.
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstring>
#include <future>

#include "finder/limite_cache.h"
#include "montajes.h"
#include "motivos.h"
#include "ubicacion.h"
#include "vemlo/xdg.h"
#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;

// Collects one enumeration and hands the end to `fin`.
class Coleccion : public fp::EnumerationObserver, public fp::ChangeObserver {
 public:
  using Fin = std::function<void(Coleccion&, std::exception_ptr)>;
  explicit Coleccion(Fin fin) : fin_(std::move(fin)) {}
  void didEnumerateItems(std::vector<fp::ItemPtr> items) override { agregar(items); }
  void didUpdateItems(std::vector<fp::ItemPtr> items) override { agregar(items); }
  void didDeleteItemsWithIdentifiers(std::vector<fp::ItemIdentifier> ids) override {
    borrados.insert(borrados.end(), ids.begin(), ids.end());
  }
  void finishEnumeratingUpToPage(std::optional<fp::Page>) override { fin_(*this, nullptr); }
  void finishEnumeratingChangesUpToSyncAnchor(fp::SyncAnchor a, bool) override {
    ancla = std::move(a);
    fin_(*this, nullptr);
  }
  void finishEnumeratingWithError(std::exception_ptr e) override { fin_(*this, e); }

  std::vector<fp::ItemPtr> items;
  std::vector<std::string> borrados;
  std::optional<fp::SyncAnchor> ancla;

 private:
  void agregar(const std::vector<fp::ItemPtr>& nuevos) {
    items.insert(items.end(), nuevos.begin(), nuevos.end());
  }
  Fin fin_;
};

// An enumeration run to its end on this thread.
std::shared_ptr<Coleccion> esperarColeccion(
    const std::function<void(std::shared_ptr<Coleccion>)>& lanzar) {
  auto terminado = std::make_shared<std::promise<std::exception_ptr>>();
  auto coleccion = std::make_shared<Coleccion>(
      [terminado](Coleccion&, std::exception_ptr e) { terminado->set_value(e); });
  lanzar(coleccion);
  if (auto error = terminado->get_future().get()) std::rethrow_exception(error);
  return coleccion;
}

// The table's nodes answer names and attributes; `fresca` lists a folder first when needed.
void buscar(fuse_req_t req, fuse_ino_t padre, const char* nombre) {
  atender(req, Llamada::lookup, [&](const Respuesta& r, Volumen::Estado& e) {
    if (std::strlen(nombre) > limiteNombre) fallaSistema(ENAMETOOLONG);
    e.fresca(padre, [r, padre, nombre = std::string(nombre), &e](std::exception_ptr error) {
      if (error) return static_cast<void>(r->error(errnoDe(error)));
      e.responderEntrada(*r, e.arbol.hijo(padre, nombre));
    });
  });
}

void atributosDe(fuse_req_t req, fuse_ino_t ino, fuse_file_info*) {
  atender(req, Llamada::getattr, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto responder = [r, ino, &e] {
      const auto n = e.arbol.porIno(ino);
      if (!n) return static_cast<void>(r->error(ENOENT));
      r->atributos(e.atributos(*n), vigenciaKernel);
    };
    if (ino != FUSE_ROOT_ID) return responder();
    // Offline or signed out, the root still answers, with what is known of it.
    e.conRaiz([responder](std::exception_ptr) { responder(); });
  });
}

void abrirCarpeta(fuse_req_t req, fuse_ino_t ino, fuse_file_info* fi) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    e.fresca(ino, [r, ino, fi = *fi, &e](std::exception_ptr error) mutable {
      if (error) return static_cast<void>(r->error(errnoDe(error)));
      auto* const listado = e.listados.guardar(std::make_unique<Listado>());
      listado->nodos = e.arbol.hijos(ino);
      fi.fh = reinterpret_cast<std::uint64_t>(listado);
      if (r->abierto(fi) != 0) e.listados.soltar(listado);
    });
  });
}

void leerCarpeta(fuse_req_t req, fuse_ino_t ino, size_t tamano, off_t desde, fuse_file_info* fi) {
  atender(req, Llamada::readdir, [&](const Respuesta& r, Volumen::Estado& e) {
    const auto& nodos = reinterpret_cast<Listado*>(fi->fh)->nodos;
    std::vector<char> buffer(tamano);
    std::size_t usado = 0;
    for (auto i = static_cast<std::size_t>(desde); i < nodos.size() + 2; ++i) {
      fuse_entry_param ep{};
      std::string nombre = i == 0 ? "." : "..";
      if (i < 2) {
        ep.attr.st_ino = ino;
        ep.attr.st_mode = S_IFDIR;
      } else {
        ep = e.entrada(nodos[i - 2]);
        nombre = nodos[i - 2].nombre;
      }
      const auto n = fuse_add_direntry_plus(r->req(), buffer.data() + usado, tamano - usado,
                                            nombre.c_str(), &ep, static_cast<off_t>(i + 1));
      if (n > tamano - usado) break;
      usado += n;
    }
    r->buffer(buffer.data(), usado);
  });
}

void soltarCarpeta(fuse_req_t req, fuse_ino_t, fuse_file_info* fi) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    e.listados.soltar(reinterpret_cast<Listado*>(fi->fh));
    r->error(0);
  });
}

void espacio(fuse_req_t req, fuse_ino_t) {
  atender(req, std::nullopt, [&](const Respuesta& r, Volumen::Estado& e) {
    struct statvfs st {};
    if (statvfs(e.cache.carpeta().c_str(), &st) != 0) fallaSistema(errno);
    st.f_namemax = limiteNombre;
    r->espacio(st);
  });
}

void init(void*, fuse_conn_info* conn) {
  conn->want |= FUSE_CAP_READDIRPLUS;
  conn->want &= ~static_cast<unsigned>(FUSE_CAP_READDIRPLUS_AUTO);
  if (conn->capable & FUSE_CAP_SPLICE_READ) conn->want |= FUSE_CAP_SPLICE_READ;
  conn->max_write = 1u << 20;
  conn->max_read = 1u << 20;  // as the mount option says
  conn->max_readahead = 1u << 20;
  conn->max_background = 64;
}

fuse_lowlevel_ops operaciones() {
  fuse_lowlevel_ops ops{};
  ops.init = init;
  ops.lookup = buscar;
  ops.getattr = atributosDe;
  ops.opendir = abrirCarpeta;
  ops.readdir = leerCarpeta;
  ops.readdirplus = leerCarpeta;
  ops.releasedir = soltarCarpeta;
  ops.statfs = espacio;
  operacionesDeArchivos(ops);
  operacionesDeCambios(ops);
  operacionesDeAtributos(ops);
  return ops;
}

// The domain, once its identifier is known to be a plain folder name: it names the folders
// of the content cache and the staging store.
DominioRegistrado comprobado(DominioRegistrado dominio) {
  if (!nombreValido(dominio.identifier))
    throw std::runtime_error("the company's identifier cannot be a folder name");
  return dominio;
}

}  // namespace

Volumen::Estado::Estado(DominioRegistrado d, fs::path p)
    : dominio(comprobado(std::move(d))),
      punto(std::move(p)),
      ext(fp::Domain{dominio.identifier, dominio.displayName}),
      fijados(datosDeUsuario() / "vemlo-finder" / dominio.identifier / "fijados.json"),
      cache(cacheDeUsuario() / "vemlo-finder" / dominio.identifier / "contenido", limiteCache(),
            fijados.protegidos()),
      descargas(fp::temporaryDirectory(ext.dominio())),
      pendientes(datosDeUsuario() / "vemlo-finder" / dominio.identifier / "pendientes") {
  for (const auto& p : pendientes.todos()) {
    if (p.id.empty()) arbol.crearLocal(p.padre, p.nombre, p.clave);
    if (!p.id.empty()) arbol.fijarClave(p.id, p.clave);
  }
  subidor = std::make_unique<Subidor>(
      pendientes, ext,
      Subidor::Avisos{
          .alSubir = [this](const Pendiente& p, std::uint64_t cambios,
                            const fp::Item& item) { alSubir(p, cambios, item); },
          .alChocar = [this](const Pendiente& p) { alChocar(p); },
          .alNoAlcanzar = [this] { conexion.perdida(); },
      });
  for (const auto& p : pendientes.todos()) subidor->encolar(p.clave);
  miniaturas = std::make_unique<Miniaturas>(CacheMiniaturas(cacheDeUsuario() / "thumbnails"),
                                            [this](const std::string& id, std::stop_token parar) {
                                              return miniaturaDelServicio(id, parar);
                                            });
  fijador = std::jthread([this](std::stop_token parar) { mantenerFijados(parar); });
}

Volumen::Estado::~Estado() {
  pararTareas();
}

// The watcher and the pinning task may be waiting for the extension: asked to stop first,
// they are joined once its tasks are stopped (which ends what they wait for).
void Volumen::Estado::pararTareas() {
  miniaturas->detener();
  vigia.request_stop();
  fijador.request_stop();
  subidor->detener();
  ext.tareas().detener();
  if (vigia.joinable()) vigia.join();
  if (fijador.joinable()) fijador.join();
}

void Volumen::Estado::conRaiz(std::function<void(std::exception_ptr)> luego) {
  if (raizConocida) return luego(nullptr);
  if (conexion.sinRed()) {
    raizSinRed();
    return luego(nullptr);
  }
  // The root's rights (a read-only company) come with its item, not with any listing.
  ext.item(fp::rootContainer,
           [this, luego = std::move(luego)](fp::ItemPtr raiz, std::exception_ptr e) {
             if (e && noAlcanzo(e)) {
               raizSinRed();
               return luego(nullptr);
             }
             if (e) return luego(e);
             conexion.alcanzada();
             arbol.fijarCapacidades(FUSE_ROOT_ID, raiz->capabilities());
             raizConocida = true;
             luego(nullptr);
           });
}

void Volumen::Estado::listar(const Nodo& carpeta, std::function<void(std::exception_ptr)> luego) {
  if (conexion.sinRed()) {
    listarConocidos(carpeta);
    return luego(nullptr);
  }
  if (carpeta.ino == FUSE_ROOT_ID && !raizConocida) {
    return conRaiz([this, carpeta, luego = std::move(luego)](std::exception_ptr e) {
      if (e) return luego(e);
      listar(carpeta, luego);
    });
  }
  auto coleccion = std::make_shared<Coleccion>(
      [this, carpeta, luego = std::move(luego)](Coleccion& c, std::exception_ptr e) {
        // Offline, a folder lists what is known of it.
        if (e && noAlcanzo(e)) {
          listarConocidos(carpeta);
          return luego(nullptr);
        }
        if (!e) {
          conexion.alcanzada();
          avisarLuego(arbol.fijarHijos(carpeta.id, c.items));
        }
        luego(e);
        // After the answer: the listing waits for nothing of the thumbnails.
        if (!e) encargarMiniaturas(carpeta.id, c.items);
      });
  ext.enumerator(carpeta.id)->enumerateItems(coleccion, {});
}

void Volumen::Estado::fresca(fuse_ino_t carpeta, std::function<void(std::exception_ptr)> luego) {
  const auto n = arbol.porIno(carpeta);
  if (!n || !n->presente) return luego(std::make_exception_ptr(fp::Error(fp::noSuchItem)));
  if (!n->esCarpeta)
    return luego(std::make_exception_ptr(std::system_error(ENOTDIR, std::generic_category())));
  if (arbol.fresco(carpeta, vigenciaListado)) return luego(nullptr);
  listar(*n, std::move(luego));
}

struct stat Volumen::Estado::atributos(const Nodo& n) const {
  struct stat st {};
  st.st_ino = n.ino;
  const bool escribible = (n.capacidades & fp::writing) != 0;
  st.st_mode =
      n.esCarpeta ? (S_IFDIR | (escribible ? 0755 : 0555)) : (S_IFREG | (escribible ? 0644 : 0444));
  st.st_nlink = n.esCarpeta ? 2 : 1;
  st.st_uid = getuid();
  st.st_gid = getgid();
  st.st_size = n.tamano;
  if (!n.clave.empty()) {
    struct stat copia {};
    if (::stat(pendientes.copia(n.clave).c_str(), &copia) == 0) st.st_size = copia.st_size;
  }
  st.st_blksize = 1 << 20;
  st.st_blocks = (st.st_size + 511) / 512;
  if (n.fecha) {
    const auto ms = n.fecha->time_since_epoch().count();
    st.st_mtim = {ms / 1000, (ms % 1000) * 1'000'000};
    st.st_ctim = st.st_atim = st.st_mtim;
  }
  return st;
}

fuse_entry_param Volumen::Estado::entrada(const Nodo& n) const {
  fuse_entry_param ep{};
  ep.ino = n.ino;
  ep.attr = atributos(n);
  ep.attr_timeout = vigenciaKernel;
  ep.entry_timeout = vigenciaKernel;
  return ep;
}

void Volumen::Estado::responderEntrada(Pedido& pedido, const std::optional<Nodo>& n) const {
  if (!n || !n->presente) return static_cast<void>(pedido.error(ENOENT));
  pedido.entrada(entrada(*n));
}

void Volumen::Estado::avisarKernel(const std::optional<Nodo>& antes,
                                   const std::optional<Nodo>& despues) {
  if (!fijados.vacio()) timbre.tocar();
  const bool otraVersion = antes && despues && antes->version != despues->version;
  // A file uploaded from here has no service time until a listing brings it: the same bytes
  // under the version the service gave them.
  const bool mismosBytes =
      otraVersion && !antes->fecha && !antes->esCarpeta && antes->tamano == despues->tamano;
  if (mismosBytes) cache.cambiarVersion(despues->id, antes->version, despues->version);
  if (otraVersion && !mismosBytes) cache.olvidar(despues->id);
  auto* const sesion = this->sesion.load();
  if (!sesion) return;
  const auto inoDe = [&](const std::string& id) {
    const auto p = arbol.porId(id);
    return p ? p->ino : 0;
  };
  const bool movido =
      antes && (!despues || antes->padre != despues->padre || antes->nombre != despues->nombre);
  if (movido && inoDe(antes->padre))
    fuse_lowlevel_notify_inval_entry(sesion, inoDe(antes->padre), antes->nombre.c_str(),
                                     antes->nombre.size());
  if (despues && (!antes || movido) && inoDe(despues->padre))
    fuse_lowlevel_notify_inval_entry(sesion, inoDe(despues->padre), despues->nombre.c_str(),
                                     despues->nombre.size());
  if (otraVersion && !mismosBytes) fuse_lowlevel_notify_inval_inode(sesion, despues->ino, 0, 0);
}

void Volumen::Estado::avisarLuego(std::vector<Aviso> nuevos) {
  if (nuevos.empty()) return;
  std::lock_guard candado(candadoAvisos);
  avisos.insert(avisos.end(), nuevos.begin(), nuevos.end());
  hayAvisos.notify_one();
}

void Volumen::Estado::avisar(std::stop_token parar) {
  while (!parar.stop_requested()) {
    std::vector<Aviso> estos;
    {
      std::unique_lock candado(candadoAvisos);
      hayAvisos.wait(candado, parar, [&] { return !avisos.empty(); });
      estos.swap(avisos);
    }
    for (const auto& [antes, despues] : estos) avisarKernel(antes, despues);
  }
}

Volumen::Volumen(DominioRegistrado dominio, fs::path punto)
    : e_(std::make_unique<Estado>(std::move(dominio), std::move(punto))) {}

Volumen::~Volumen() {
  desmontar();
}

void Volumen::montar() {
  if (e_->sesion) return;
  despejarPunto(e_->punto);
  const std::string opciones = "fsname=vemlo,subtype=vemlo,default_permissions,max_read=1048576";
  const char* argv[] = {"vemlo-finder", "-o", opciones.c_str()};
  fuse_args args = FUSE_ARGS_INIT(3, const_cast<char**>(argv));
  static const auto ops = operaciones();
  auto* const sesion = fuse_session_new(&args, &ops, sizeof ops, e_.get());
  fuse_opt_free_args(&args);
  if (!sesion) throw Motivo("montaje", "FUSE session could not be made");
  if (fuse_session_mount(sesion, e_->punto.c_str()) != 0) {
    fuse_session_destroy(sesion);
    if (access("/dev/fuse", R_OK | W_OK) != 0)
      throw Motivo("sinFuse", "cannot mount at " + e_->punto.string() + ": no /dev/fuse");
    throw Motivo("montaje", "cannot mount at " + e_->punto.string());
  }
  e_->sesion = sesion;
  ampliarLecturaAnticipada(e_->punto, 1024);  // where allowed (root); else the kernel's 128 KiB
  e_->avisador = std::jthread([e = e_.get()](std::stop_token parar) { e->avisar(parar); });
  e_->vigia = std::jthread([e = e_.get()](std::stop_token parar) { e->vigilar(parar); });
  e_->bucle = std::jthread([sesion] {
    auto* config = fuse_loop_cfg_create();
    fuse_loop_cfg_set_max_threads(config, 8);
    fuse_loop_cfg_set_idle_threads(config, 4);
    fuse_session_loop_mt(sesion, config);
    fuse_loop_cfg_destroy(config);
  });
}

// The mount goes first, which ends the connection: the loop's workers, blocked reading
// /dev/fuse, wake and leave, and only then is the descriptor closed (fuse_session_unmount).
// No new request comes once the loop is over; the tasks still holding requests are stopped,
// so each is answered, and the session goes only after the last answer.
void Volumen::desmontar() {
  auto* const sesion = e_->sesion.load();
  if (!sesion) return;
  e_->avisador = {};  // stops and joins: no notice goes to a session being torn down
  fuse_session_exit(sesion);
  // Where it cannot be detached from here, the descriptor is closed under the workers instead.
  if (!desprender(e_->punto)) fuse_session_unmount(sesion);
  if (e_->bucle.joinable()) e_->bucle.join();
  fuse_session_unmount(sesion);  // does nothing the second time
  e_->pararTareas();
  e_->vivos.esperarNinguno();
  e_->sesion = nullptr;
  fuse_session_destroy(sesion);
}

bool Volumen::montado() const {
  return e_->sesion != nullptr;
}

bool Volumen::sobreLimite() const {
  return e_->ext.sobreLimite();
}

bool Volumen::sinRed() const {
  return e_->conexion.sinRed();
}

void Volumen::probarYa() {
  e_->conexion.probarYa();
}

void Volumen::senal() {
  for (const auto& [antes, despues] : e_->ponerseAlDia()) e_->avisarKernel(antes, despues);
}

std::vector<Aviso> Volumen::Estado::cambiosDelServicio() {
  std::shared_ptr<Coleccion> c;
  bool completa = false;
  std::vector<std::string> conocidos;
  // What changes here meanwhile is newer than the report and is left as it is.
  const auto desde = arbol.reloj();
  try {
    c = esperarColeccion([&](auto col) {
      ext.enumerator(fp::workingSet)->enumerateChanges(col, ancla.value_or(fp::SyncAnchor{"0"}));
    });
  } catch (...) {
    if (!esErrorDeProveedor(std::current_exception(), fp::syncAnchorExpired)) throw;
    // Only what the table had before the listing can be missing from it: a file whose upload
    // ends meanwhile has its service identifier but may be newer than the listing.
    conocidos = arbol.idsDelServicio();
    c = esperarColeccion(
        [&](auto col) { ext.enumerator(fp::workingSet)->enumerateItems(col, {}); });
    completa = true;
  }
  std::vector<Aviso> avisosDelServicio;
  std::unordered_map<std::string, bool> vistos;
  for (const auto& item : c->items) {
    vistos[item->itemIdentifier()] = true;
    if (auto aviso = arbol.aplicarDesde(*item, desde))
      avisosDelServicio.push_back(std::move(*aviso));
  }
  if (completa) {
    for (const auto& id : conocidos)
      if (!vistos.contains(id)) c->borrados.push_back(id);
    ancla = ext.indice().ancla();
  }
  for (const auto& id : c->borrados)
    if (auto antes = arbol.quitarDesde(id, desde))
      avisosDelServicio.emplace_back(std::move(antes), std::nullopt);
  if (c->ancla) ancla = c->ancla;
  encargarCambios(c->items);
  return avisosDelServicio;
}

std::optional<Nodo> Volumen::buscar(const std::vector<std::string>& nombres) const {
  return nodoPorNombres(e_->arbol, nombres);
}

std::vector<Pendiente> Volumen::pendientes() const {
  return e_->pendientes.todos();
}

std::map<std::string, std::uint64_t> Volumen::llamadas() const {
  static constexpr const char* nombres[] = {"lookup", "getattr", "readdir",  "open",
                                            "read",   "write",   "getxattr", "listxattr"};
  std::map<std::string, std::uint64_t> cuenta;
  for (std::size_t i = 0; i < e_->llamadas.size(); ++i) cuenta[nombres[i]] = e_->llamadas[i];
  return cuenta;
}

void Volumen::fijar(const std::string& id, bool fijado) {
  if (id.empty() || esLocal(id)) throw std::invalid_argument("not an item of the service");
  const bool cambio = fijado ? e_->fijados.fijar(id) : e_->fijados.soltar(id);
  if (cambio) e_->timbre.tocar();
}

void Volumen::limitarCache(std::uint64_t bytes) {
  e_->cache.fijarLimite(bytes);
  e_->timbre.tocar();  // what did not fit may now, or what fitted may not
}

Volumen::Cache Volumen::cache() const {
  return {e_->cache.ocupados(), e_->cache.limite(), e_->fijados.resumen(), e_->fijados.todos()};
}

const DominioRegistrado& Volumen::dominio() const {
  return e_->dominio;
}
const fs::path& Volumen::punto() const {
  return e_->punto;
}

}  // namespace vemlo::finder::host
