// The inside of a Volumen, shared by its sources: the mount and its listings (volumen.cpp),
// file contents (volumen_archivos.cpp), changes (volumen_cambios.cpp), the time without the
// service (volumen_red.cpp), the thumbnails of listed folders (volumen_miniaturas.cpp),
// extended attributes (volumen_atributos.cpp) and the files kept on this device
// (volumen_fijados.cpp).
//
// Lock order: candadoSenal first; then a Volumen's own candado, then the Arbol's, the cache's,
// the store's (then its journal's) or the uploader's; the extension is never called, the
// kernel never notified and the journal never waited for with any of them but candadoSenal
// held. The Conexion's lock and the thumbnail worker's are taken alone, and so are the pins'
// (Fijados, Timbre).
//
// A staging copy is in one of three states: written (open, or closed and waiting), on its way
// (the uploader sends it), or handed over (its bytes became the content cache's file for the
// new version, and the node has no copy any more). Opening a copy and handing it over both
// happen under `candado`: an open checks that the node still has that copy and counts itself
// open in the same step, and a copy is handed over only when nobody has it open and nothing
// was confirmed into it since its upload began.
#pragma once

#include <fuse_lowlevel.h>
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "arbol.h"
#include "conexion.h"
#include "contenidos.h"
#include "descargas.h"
#include "errores_fuse.h"
#include "fijados.h"
#include "finder/extension.h"
#include "miniaturas.h"
#include "pedido.h"
#include "pendientes.h"
#include "subidor.h"
#include "vemlo/descriptor.h"
#include "volumen.h"

namespace vemlo::finder::host {

// Offline, the service is probed again after these pauses, each twice the last.
inline constexpr std::chrono::seconds primeraPausa{1};
inline constexpr std::chrono::seconds mayorPausa{30};

// How long the kernel may keep names and attributes: the host pushes every change it learns
// of, so the table is the authority.
inline constexpr double vigenciaKernel = 3600.0;
// A folder listed longer ago than this is listed again when it is opened.
inline constexpr std::chrono::seconds vigenciaListado{45};
// After a pass over the pinned items that could not do everything (offline), the next one.
inline constexpr std::chrono::seconds reintentoFijados{10};

// Requests the kernel made, counted for the status query (and the benchmarks).
enum class Llamada { lookup, getattr, readdir, open, read, write, getxattr, listxattr, total };

// An open file: a cached copy (read only) or a staging copy (read and write).
struct Abierto {
  Descriptor fd;
  fuse_ino_t ino = 0;
  std::string id;
  std::string clave;  // the staging copy, when writing
  bool sucio = false;
  std::shared_ptr<Descarga> descarga = nullptr;  // the download this reader follows, if any
  std::int64_t tamano = 0;  // the file's size as the kernel knows it, when following
};

// The handles the kernel holds (open files and folders), owned here, so that those it never
// releases (a mount torn down while files were open) go with the volume.
template <class T>
class Manijas {
 public:
  T* guardar(std::unique_ptr<T> manija) {
    std::lock_guard bloqueo(candado_);
    auto* const clave = manija.get();
    manijas_.emplace(clave, std::move(manija));
    return clave;
  }
  std::unique_ptr<T> soltar(T* manija) {
    std::lock_guard bloqueo(candado_);
    auto nodo = manijas_.extract(manija);
    return nodo ? std::move(nodo.mapped()) : nullptr;
  }

 private:
  std::mutex candado_;  // guards manijas_
  std::unordered_map<T*, std::unique_ptr<T>> manijas_;
};

// A folder's entries, taken when it is opened and read in pieces.
struct Listado {
  std::vector<Nodo> nodos;
};

// A copy that the service has whole (the upload of its `cambios`-th change), kept while
// open; handed over to the cache at its last close unless it changed by then.
struct Entregable {
  std::uint64_t cambios = 0;
  std::string id;       // the service's item
  std::string version;  // its content version
};

struct Volumen::Estado {
  Estado(DominioRegistrado d, std::filesystem::path p);
  ~Estado();  // stops the tasks first: they use the table, the cache and the store

  // Stops the thumbnails, the uploader and the extension's tasks and waits for them; every
  // request they held is answered. Nothing runs on the members after it.
  void pararTareas();

  // Lists a folder through the extension into the table, then runs `luego` with the error
  // (none on success), from the extension's thread.
  void listar(const Nodo& carpeta, std::function<void(std::exception_ptr)> luego);
  // Runs `luego` once the folder's listing is fresh (at once when it is).
  void fresca(fuse_ino_t carpeta, std::function<void(std::exception_ptr)> luego);
  // Runs `luego` once the root's rights are known (a read-only company's root is read-only
  // from the first look); offline, as the index shows them.
  void conRaiz(std::function<void(std::exception_ptr)> luego);

  // Offline: a folder not listed yet in this run takes its items from the index; the root
  // takes the rights its items there show.
  void listarConocidos(const Nodo& carpeta);
  void raizSinRed();
  // True, having noted the service as missing, when `fallo` is that it could not be reached.
  bool noAlcanzo(std::exception_ptr fallo);
  // Runs the working set's change enumeration and applies it to the table; gives what the
  // kernel must hear of. The service answering (even with a refusal) ends a time offline,
  // and the uploads waiting out a pause go at once. Fails as the enumeration did.
  std::vector<Aviso> ponerseAlDia();
  std::vector<Aviso> cambiosDelServicio();  // with candadoSenal held
  // The watcher thread: offline, it probes the service with growing pauses (the probe is the
  // catch-up itself), and it catches up as soon as any request reaches the service again.
  void vigilar(std::stop_token parar);
  struct stat atributos(const Nodo& n) const;
  fuse_entry_param entrada(const Nodo& n) const;
  void responderEntrada(Pedido& pedido, const std::optional<Nodo>& n) const;

  // The node's staging key: the one it has, or a new copy holding the bytes of `origen`
  // (empty without one), which the node keeps from then on.
  std::string prepararCopia(const Nodo& n, const std::optional<std::filesystem::path>& origen);
  // Opens the node's staging copy `clave` (emptied when `vaciar`) and counts it open; nothing
  // when the node no longer has that copy (it was handed over meanwhile: start again).
  std::optional<Abierto> tomarCopia(fuse_ino_t ino, const std::string& clave, bool vaciar);
  // Closes a handle of a staging copy: confirms what it wrote and, at the last close of a
  // copy written to, queues its upload (or drops the copy of a deleted file).
  void soltarCopia(Abierto& a);
  // The node of this copy was deleted: nothing of it goes up, and its bytes go once the last
  // handle on them is closed.
  void descartarCopia(const std::string& clave);
  // The cached file of a service file, fetched first when missing or old; from a task.
  void conContenido(
      const Nodo& n,
      std::function<void(std::optional<std::filesystem::path>, std::exception_ptr)> luego);
  // The node's download, joined or started, with one more reader (who leaves through
  // `descargas.dejar`); from a request or a task, with no lock held.
  std::shared_ptr<Descarga> seguirDescarga(const Nodo& n);
  // Makes the staging copy an entry with the node's current identity, name and place.
  void confirmar(const std::string& clave, fuse_ino_t ino);
  // An upload reached the service: a new file takes its identifier, and a copy nobody wrote
  // into since the upload began (`cambios` still the same) is handed over to the cache.
  void alSubir(const Pendiente& p, std::uint64_t cambios, const fp::Item& item);
  bool entregarSiSePuede(const std::string& clave, std::uint64_t cambios, const fp::Item& item);
  // With candado held: the copy's bytes become the cache's file of that version, and the node
  // reads from there from now on; the entry is done.
  void entregar(const std::string& clave, Entregable entregable);
  // With candado held: the copy's last handle closed; it goes up if written, is handed over
  // if the service has it whole, or goes if it never held a change.
  void ultimoCierre(const Abierto& a);
  void soltarSinCambios(const Abierto& a);
  // The service has another item under the entry's name: the entry takes a conflict name,
  // here and in the store.
  void alChocar(const Pendiente& p);

  // Tells the kernel's caches that an item moved, changed or left. Never from a request's
  // own path (the kernel may hold the folder's lock until that request is answered): there,
  // `avisarLuego` hands it to the notifier thread.
  void avisarKernel(const std::optional<Nodo>& antes, const std::optional<Nodo>& despues);
  void avisarLuego(std::vector<Aviso> avisos);
  void avisar(std::stop_token parar);  // the notifier thread's loop

  // The thumbnails of the listed folder's pictures that the service has, for the thumbnail
  // cache (volumen_miniaturas.cpp). From the listing's end, with no lock held.
  void encargarMiniaturas(const std::string& carpetaId, const std::vector<fp::ItemPtr>& items);
  // The same for the items a change enumeration reported, in the folders listed before.
  void encargarCambios(const std::vector<fp::ItemPtr>& items);
  // The absolute path in the mount of the folder `id`; nothing when it left the tree.
  std::optional<std::filesystem::path> rutaEnMontaje(const std::string& id) const;
  // The service's thumbnail of a file, from its thumbnail request alone (never its content).
  std::optional<std::string> miniaturaDelServicio(const std::string& id, std::stop_token parar);
  // The pinning task's loop: a pass at the start and after each ring (or, after a pass that
  // could not do everything, after a pause), until `parar`.
  void mantenerFijados(std::stop_token parar);
  // One pass: walks the pinned items, protects what fits and downloads what is missing; false
  // when an item, a listing or a download failed.
  bool pasarFijados(std::stop_token parar);

  DominioRegistrado dominio;  // first: its identifier is checked before any folder is made
  std::filesystem::path punto;
  Vivos vivos;  // before everything that may hold a request
  Manijas<Abierto> archivos;
  Manijas<Listado> listados;
  ExtensionVemlo ext;
  Arbol arbol;
  Fijados fijados;  // before the cache, which starts with the files it protects
  CacheContenidos cache;
  Descargas descargas;  // after the cache and the table, which their ends use
  Pendientes pendientes;
  std::unique_ptr<Subidor> subidor;
  std::unique_ptr<Miniaturas> miniaturas;  // uses the extension
  Timbre timbre;                           // rings the pinning task

  mutable std::mutex candado;  // guards the four below, and every copy's hand-over
  std::unordered_map<std::string, int> abiertas;  // open handles per staging key
  std::set<std::string> sucias;                   // staging keys confirmed since last queued
  std::set<std::string> descartadas;              // copies of deleted files still open
  std::unordered_map<std::string, Entregable> entregables;  // uploaded whole, still open

  std::mutex candadoAvisos;  // guards avisos
  std::condition_variable_any hayAvisos;
  std::vector<Aviso> avisos;  // changes for the notifier

  std::atomic<fuse_session*> sesion = nullptr;  // set by montar, cleared by desmontar
  std::jthread bucle;
  std::jthread avisador;
  Conexion conexion;
  std::jthread vigia;       // started by montar, stopped by pararTareas
  std::jthread fijador;     // the pinning task; stopped by pararTareas
  std::mutex candadoSenal;  // one change enumeration at a time; guards ancla
  std::optional<fp::SyncAnchor> ancla;
  std::atomic<bool> raizConocida = false;
  std::atomic<bool> raizDelIndice = false;  // offline, the root took the index's rights
  std::array<std::atomic<std::uint64_t>, static_cast<std::size_t>(Llamada::total)> llamadas{};
};

// The session's Estado from a request.
inline Volumen::Estado& estadoDe(fuse_req_t req) {
  return *static_cast<Volumen::Estado*>(fuse_req_userdata(req));
}

[[noreturn]] inline void fallaSistema(int codigo) {
  throw std::system_error(codigo, std::generic_category());
}

// The node, when it is in the tree; else the request fails with ENOENT.
inline Nodo presente(const std::optional<Nodo>& n) {
  if (!n || !n->presente) fallaSistema(ENOENT);
  return *n;
}

// Runs `cuerpo` and answers its failure, if it threw, as the request's one answer.
template <class F>
void atender(Pedido& pedido, F&& cuerpo) {
  try {
    cuerpo();
  } catch (...) {
    pedido.error(errnoDe(std::current_exception()));
  }
}

// A callback's start: takes the request (counted as `llamada`, when given) and runs
// `cuerpo(respuesta, estado)`, which answers it or hands it to a continuation.
template <class F>
void atender(fuse_req_t req, std::optional<Llamada> llamada, F&& cuerpo) {
  auto& e = estadoDe(req);
  if (llamada) ++e.llamadas[static_cast<std::size_t>(*llamada)];
  const auto respuesta = std::make_shared<Pedido>(req, e.vivos);
  atender(*respuesta, [&] { cuerpo(respuesta, e); });
}

// A name for a new entry: too long for a file name here, or not a name at all, fails.
void exigirNombre(const char* nombre);

// The operations of each source, put together in volumen.cpp.
void operacionesDeArchivos(fuse_lowlevel_ops& ops);
void operacionesDeCambios(fuse_lowlevel_ops& ops);
void operacionesDeAtributos(fuse_lowlevel_ops& ops);

}  // namespace vemlo::finder::host
