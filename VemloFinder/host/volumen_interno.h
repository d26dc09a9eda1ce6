// The inside of a Volumen, shared by its three sources: the mount and its listings
// (volumen.cpp), file contents (volumen_archivos.cpp) and changes (volumen_cambios.cpp).
//
// Lock order: a Volumen's own candado, then the Arbol's, the cache's or the store's; the
// extension is never called and the kernel never notified with any of them held.
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
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "arbol.h"
#include "contenidos.h"
#include "errores_fuse.h"
#include "finder/extension.h"
#include "pendientes.h"
#include "subidor.h"
#include "volumen.h"

namespace vemlo::finder::host {

// How long the kernel may keep names and attributes: the host pushes every change it learns
// of, so the table is the authority.
inline constexpr double vigenciaKernel = 3600.0;
// A folder listed longer ago than this is listed again when it is opened.
inline constexpr std::chrono::seconds vigenciaListado{45};
inline constexpr std::uint64_t limiteCache = 8ull << 30;

// Requests the kernel made, counted for the status query (and the benchmarks).
enum class Llamada { lookup, getattr, readdir, open, read, write, total };

// An open file: a cached copy (read only) or a staging copy (read and write).
struct Abierto {
  int fd = -1;
  fuse_ino_t ino = 0;
  std::string id;
  std::string clave;  // the staging copy, when writing
  bool sucio = false;
};

struct Volumen::Estado {
  Estado(DominioRegistrado d, std::filesystem::path p);

  // Lists a folder through the extension into the table, then runs `luego` with the error
  // (none on success), from the extension's thread.
  void listar(const Nodo& carpeta, std::function<void(std::exception_ptr)> luego);
  // Runs `luego` once the folder's listing is fresh (at once when it is).
  void fresca(fuse_ino_t carpeta, std::function<void(std::exception_ptr)> luego);
  struct stat atributos(const Nodo& n) const;
  fuse_entry_param entrada(const Nodo& n) const;
  void responderEntrada(fuse_req_t req, const std::optional<Nodo>& n) const;

  // The node's staging key; a new copy holds the bytes of `origen` (none when `vaciar`). The
  // node keeps the key from then on.
  std::string prepararCopia(const Nodo& n, bool vaciar,
                            const std::optional<std::filesystem::path>& origen);
  // The cached file of a service file, fetched first when missing or old; from a task.
  void conContenido(
      const Nodo& n,
      std::function<void(std::optional<std::filesystem::path>, std::exception_ptr)> luego);
  // Makes the staging copy an entry with the node's current identity, name and place.
  void confirmar(const std::string& clave, fuse_ino_t ino);
  void alSubir(const Pendiente& p, const fp::Item& item, bool final);
  // Tells the kernel's caches that an item moved, changed or left. Never from a request's
  // own path (the kernel may hold the folder's lock until that request is answered): there,
  // `avisarLuego` hands it to the notifier thread.
  void avisarKernel(const std::optional<Nodo>& antes, const std::optional<Nodo>& despues);
  void avisarLuego(std::vector<Nodo> idos);
  void avisar(std::stop_token parar);  // the notifier thread's loop

  DominioRegistrado dominio;
  std::filesystem::path punto;
  ExtensionVemlo ext;
  Arbol arbol;
  CacheContenidos cache;
  Pendientes pendientes;
  std::unique_ptr<Subidor> subidor;

  mutable std::mutex candado;                     // guards abiertas and sucias
  std::unordered_map<std::string, int> abiertas;  // open handles per staging key
  std::unordered_map<std::string, bool> sucias;   // staging keys written since confirmed

  std::mutex candadoAvisos;  // guards avisos
  std::condition_variable_any hayAvisos;
  std::vector<Nodo> avisos;  // items that left their folder, for the notifier

  fuse_session* sesion = nullptr;
  std::jthread bucle;
  std::jthread avisador;
  std::mutex candadoSenal;  // one change enumeration at a time; guards ancla
  std::optional<fp::SyncAnchor> ancla;
  std::atomic<bool> raizConocida = false;
  std::array<std::atomic<std::uint64_t>, static_cast<std::size_t>(Llamada::total)> llamadas{};
};

// The session's Estado from a request.
inline Volumen::Estado& estadoDe(fuse_req_t req) {
  return *static_cast<Volumen::Estado*>(fuse_req_userdata(req));
}

inline void contar(fuse_req_t req, Llamada llamada) {
  ++estadoDe(req).llamadas[static_cast<std::size_t>(llamada)];
}

// Runs a callback's body; a failure it throws becomes its one reply. Bodies reply last, or
// hand the request to a task as their last step.
template <class F>
void atender(fuse_req_t req, F&& cuerpo) {
  try {
    cuerpo();
  } catch (...) {
    fuse_reply_err(req, errnoDe(std::current_exception()));
  }
}

// The operations of each source, put together in volumen.cpp.
void operacionesDeArchivos(fuse_lowlevel_ops& ops);
void operacionesDeCambios(fuse_lowlevel_ops& ops);

}  // namespace vemlo::finder::host
