// The host's domains. Every call into a Volumen (mounting, unmounting, the signal, its state)
// runs outside the lock, holding a shared_ptr, so the status never waits for a mount or a
// signal; only sincronizar changes the map, one call at a time. The registry is followed with
// an inotify watch on its folder: the registry replaces its file by renaming a complete copy
// over it, so every change shows as an event naming "dominios.json" (and "cache.json" for the
// cache limit, kept in the same folder).
#include "anfitrion.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "finder/indice.h"
#include "finder/limite_cache.h"
#include "motivos.h"
#include "ubicacion.h"

namespace vemlo::finder::host {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

[[noreturn]] void fallaSistema(const char* que) {
  throw std::system_error(errno, std::system_category(), que);
}

Descriptor abrirEventfd() {
  Descriptor fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
  if (!fd) fallaSistema("eventfd");
  return fd;
}

// The folder and any missing parent, each made private (0700).
void crearCarpeta(const fs::path& carpeta) {
  if (mkdir(carpeta.c_str(), 0700) == 0 || errno == EEXIST) return;
  if (errno != ENOENT || carpeta.parent_path() == carpeta)
    throw fs::filesystem_error("mkdir", carpeta, {errno, std::generic_category()});
  crearCarpeta(carpeta.parent_path());
  if (mkdir(carpeta.c_str(), 0700) != 0 && errno != EEXIST)
    throw fs::filesystem_error("mkdir", carpeta, {errno, std::generic_category()});
}

// Watches the registry's folder, made first when missing so that the watch can be set.
void vigilarCarpeta(int vigia, const fs::path& carpeta) {
  crearCarpeta(carpeta);
  constexpr std::uint32_t eventos = IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE | IN_CREATE;
  if (inotify_add_watch(vigia, carpeta.c_str(), eventos) < 0)
    throw fs::filesystem_error("inotify_add_watch", carpeta, {errno, std::generic_category()});
}

// What one batch of events said: the registry's file changed (or events were lost), or the
// watch is gone because the folder was removed.
struct Lote {
  bool cambio = false;
  bool limite = false;
  bool sinVigia = false;
};

void anotar(Lote& lote, const char* eventos, std::size_t bytes, const std::string& archivo) {
  const auto limite = archivoDeLimiteCache().filename().string();
  for (std::size_t i = 0; i < bytes;) {
    const auto* evento = reinterpret_cast<const inotify_event*>(eventos + i);
    if (evento->mask & IN_Q_OVERFLOW) lote.cambio = lote.limite = true;
    if (evento->mask & IN_IGNORED) lote.sinVigia = true;
    if (evento->len > 0 && archivo == evento->name) lote.cambio = true;
    if (evento->len > 0 && limite == evento->name) lote.limite = true;
    i += sizeof(inotify_event) + evento->len;
  }
}

// Reads every pending event (the descriptor does not block).
Lote leerLote(int vigia, const std::string& archivo) {
  Lote lote;
  alignas(inotify_event) char eventos[16384];
  for (;;) {
    const auto n = read(vigia, eventos, sizeof eventos);
    if (n > 0) {
      anotar(lote, eventos, static_cast<std::size_t>(n), archivo);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno == EAGAIN) return lote;
    fallaSistema("read inotify");
  }
}

json pendientesDe(const std::shared_ptr<Volumen>& volumen) {
  auto lista = json::array();
  if (!volumen) return lista;
  for (const auto& p : volumen->pendientes())
    lista.push_back({{"nombre", p.nombre},
                     {"padre", p.padre},
                     {"id", p.id},
                     {"intentos", p.intentos},
                     {"ultimoFallo", p.ultimoFallo},
                     {"detenida", p.detenida}});
  return lista;
}

// The reason a domain is not mounted, as a code and its detail for logs: the user's switch,
// the last failure, or none (being mounted right now).
std::pair<json, json> motivoDe(const DominioRegistrado& dominio, const std::optional<Fallo>& fallo,
                               bool montado) {
  if (!dominio.enabled) return {"apagada", nullptr};
  if (montado || !fallo) return {nullptr, nullptr};
  return {fallo->codigo, fallo->detalle};
}

json cacheDe(const Volumen& volumen) {
  const auto cache = volumen.cache();
  const auto& f = cache.fijados;
  return {{"ocupados", cache.ocupados},
          {"limite", cache.limite},
          {"fijados",
           {{"ids", cache.ids},
            {"archivos", f.archivos},
            {"bytes", f.bytes},
            {"sinSitio", f.sinSitio},
            {"bytesSinSitio", f.bytesSinSitio}}}};
}

json estadoDe(const DominioRegistrado& dominio, const std::shared_ptr<Volumen>& volumen,
              const std::optional<Fallo>& fallo) {
  const bool montado = volumen && volumen->montado();
  const auto punto = volumen ? volumen->punto() : puntoDeMontaje(dominio);
  auto [motivo, detalle] = motivoDe(dominio, fallo, montado);
  json estado = {{"identifier", dominio.identifier},
                 {"displayName", dominio.displayName},
                 {"enabled", dominio.enabled},
                 {"puntoDeMontaje", punto.string()},
                 {"montado", montado},
                 {"sobreLimite", volumen && volumen->sobreLimite()},
                 {"sinRed", montado && volumen->sinRed()},
                 {"motivo", std::move(motivo)},
                 {"detalle", std::move(detalle)},
                 {"pendientes", pendientesDe(volumen)},
                 {"llamadas", volumen ? json(volumen->llamadas()) : json::object()}};
  if (volumen) estado["cache"] = cacheDe(*volumen);
  return estado;
}

// The service's own id of an item identifier ("a:" + id a file, "c:" + id a folder); empty
// for the root.
std::string idDelServicio(const std::string& identificador) {
  const auto d = destino(identificador, {});
  if (const auto* archivo = std::get_if<destinos::Fichero>(&d)) return archivo->id;
  if (const auto* carpeta = std::get_if<destinos::Carpeta>(&d)) return carpeta->id;
  return {};
}

}  // namespace

Despertador::Despertador(std::stop_token parar)
    : fd_(abrirEventfd()), alParar_(std::move(parar), [this] {
        const std::uint64_t uno = 1;
        [[maybe_unused]] const auto escrito = write(fd_.get(), &uno, sizeof uno);
      }) {}

bool Despertador::esperar(int fd) const {
  pollfd esperados[] = {{.fd = fd_.get(), .events = POLLIN, .revents = 0},
                        {.fd = fd, .events = POLLIN, .revents = 0}};
  while (poll(esperados, 2, -1) < 0) {
    if (errno != EINTR) fallaSistema("poll");
  }
  return esperados[0].revents == 0;
}

Anfitrion::Anfitrion(Avisos avisos)
    : avisos_(std::move(avisos)), rutas_([this](bool satisfecho) {
        if (satisfecho) probarYa();
      }) {}

Anfitrion::~Anfitrion() = default;

void Anfitrion::sincronizar() {
  const std::lock_guard turno(sincronizando_);
  const auto dominios = getDomains();
  // Unmounted here, outside the lock, before any mount: a renamed domain leaves its old
  // point first.
  retirar(dominios).clear();
  for (const auto& dominio : dominios) {
    if (dominio.enabled) montar(dominio);
  }
}

// Takes out of the map every Volumen whose domain is gone, switched off or renamed, and
// records the registry as read. The caller drops them, which unmounts them.
std::vector<std::shared_ptr<Volumen>> Anfitrion::retirar(
    const std::vector<DominioRegistrado>& dominios) {
  std::vector<std::shared_ptr<Volumen>> retirados;
  const std::lock_guard bloqueo(candado_);
  dominios_ = dominios;
  for (auto pos = volumenes_.begin(); pos != volumenes_.end();) {
    if (std::ranges::find(dominios, pos->second.dominio) != dominios.end()) {
      ++pos;
      continue;
    }
    retirados.push_back(std::move(pos->second.volumen));
    pos = volumenes_.erase(pos);
  }
  return retirados;
}

// Makes the domain's Volumen when it has none yet and mounts it unless it is mounted; a
// failure is kept as the domain's reason.
void Anfitrion::montar(const DominioRegistrado& dominio) {
  std::shared_ptr<Volumen> volumen;
  {
    const std::lock_guard bloqueo(candado_);
    auto& entrada = volumenes_[dominio.identifier];
    entrada.dominio = dominio;
    volumen = entrada.volumen;
  }
  if (volumen && volumen->montado()) return;
  std::optional<Fallo> fallo;
  try {
    if (!volumen) volumen = std::make_shared<Volumen>(dominio, puntoDeMontaje(dominio));
    volumen->montar();
  } catch (const std::exception& e) {
    // A failure without a reason of its own is still one of mounting.
    const auto codigo = codigoDe(std::current_exception());
    fallo = Fallo{codigo == "fallo" ? "montaje" : codigo, e.what()};
  }
  {
    const std::lock_guard bloqueo(candado_);
    volumenes_[dominio.identifier].volumen = volumen;
    volumenes_[dominio.identifier].fallo = fallo;
  }
  if (fallo && avisos_.alFallar) avisos_.alFallar(dominio, fallo->detalle);
}

std::size_t Anfitrion::montados() const {
  std::vector<std::shared_ptr<Volumen>> volumenes;
  {
    const std::lock_guard bloqueo(candado_);
    for (const auto& [identifier, entrada] : volumenes_) volumenes.push_back(entrada.volumen);
  }
  return static_cast<std::size_t>(
      std::ranges::count_if(volumenes, [](const auto& v) { return v && v->montado(); }));
}

void Anfitrion::probarYa() {
  std::vector<std::shared_ptr<Volumen>> volumenes;
  {
    const std::lock_guard bloqueo(candado_);
    for (const auto& [identifier, entrada] : volumenes_) volumenes.push_back(entrada.volumen);
  }
  for (const auto& v : volumenes)
    if (v) v->probarYa();
}

void Anfitrion::seguir(std::stop_token parar) {
  const auto archivo = archivoDeDominios();
  const Despertador despertador(parar);
  const Descriptor vigia(inotify_init1(IN_CLOEXEC | IN_NONBLOCK));
  if (!vigia) fallaSistema("inotify_init1");
  // The watch is set before the first reading, so no change made in between goes unnoticed.
  vigilarCarpeta(vigia.get(), archivo.parent_path());
  sincronizar();
  if (avisos_.alEmpezar) avisos_.alEmpezar(montados());
  while (despertador.esperar(vigia.get())) {
    const auto lote = leerLote(vigia.get(), archivo.filename().string());
    if (lote.sinVigia) vigilarCarpeta(vigia.get(), archivo.parent_path());
    if (lote.cambio || lote.sinVigia) sincronizar();
    if (lote.limite || lote.sinVigia) aplicarLimite(limiteCache());
  }
}

void Anfitrion::senal(const std::string& identifier) {
  // Without the lock: the enumeration may take long, and the status must still answer.
  montadoDe(identifier)->senal();
}

void Anfitrion::fijar(const std::string& identifier, const std::string& id, bool fijado) {
  montadoDe(identifier)->fijar(id, fijado);
}

void Anfitrion::limitarCache(std::uint64_t bytes) {
  guardarLimiteCache(bytes);
  aplicarLimite(bytes);  // at once, not only when the watch sees the file
}

void Anfitrion::aplicarLimite(std::uint64_t bytes) {
  std::vector<std::shared_ptr<Volumen>> volumenes;
  {
    const std::lock_guard bloqueo(candado_);
    for (const auto& [identifier, entrada] : volumenes_)
      if (entrada.volumen) volumenes.push_back(entrada.volumen);
  }
  for (const auto& volumen : volumenes) volumen->limitarCache(bytes);
}

// The domain's mounted Volumen; fails with "sinCarpeta" or "sinMontar".
std::shared_ptr<Volumen> Anfitrion::montadoDe(const std::string& identifier) const {
  std::shared_ptr<Volumen> volumen;
  {
    const std::lock_guard bloqueo(candado_);
    const auto registrado = std::ranges::any_of(
        dominios_, [&](const auto& dominio) { return dominio.identifier == identifier; });
    if (!registrado) throw Motivo("sinCarpeta", "unknown domain");
    const auto pos = volumenes_.find(identifier);
    if (pos != volumenes_.end()) volumen = pos->second.volumen;
  }
  if (!volumen || !volumen->montado()) throw Motivo("sinMontar", "not mounted");
  return volumen;
}

json Anfitrion::ubicar(const std::string& ruta) const {
  std::vector<std::shared_ptr<Volumen>> montados;
  {
    const std::lock_guard bloqueo(candado_);
    for (const auto& [identifier, entrada] : volumenes_)
      if (entrada.volumen && entrada.volumen->montado()) montados.push_back(entrada.volumen);
  }
  // Without the lock: each table has its own, and the status must still answer.
  for (const auto& volumen : montados) {
    const auto nombres = nombresBajo(volumen->punto(), ruta);
    if (!nombres) continue;
    const auto nodo = volumen->buscar(*nombres);
    if (!nodo) throw Motivo("sinElemento", "no such item in the table");
    if (esLocal(nodo->id)) throw Motivo("sinSubir", "not uploaded yet");
    return {{"identifier", volumen->dominio().identifier},
            {"id", idDelServicio(nodo->id)},
            {"carpeta", nodo->esCarpeta},
            {"padre", idDelServicio(nodo->padre)},
            {"raiz", nodo->ino == FUSE_ROOT_ID}};
  }
  throw Motivo("fueraDeCarpeta", "not inside a mounted Vemlo folder");
}

json Anfitrion::estado() const {
  std::vector<Entrada> entradas;
  {
    const std::lock_guard bloqueo(candado_);
    for (const auto& dominio : dominios_) {
      const auto pos = volumenes_.find(dominio.identifier);
      entradas.push_back(pos != volumenes_.end() ? pos->second : Entrada{dominio, {}, {}});
    }
  }
  auto lista = json::array();
  for (const auto& [dominio, volumen, fallo] : entradas)
    lista.push_back(estadoDe(dominio, volumen, fallo));
  return {{"limiteCache", limiteCache()}, {"dominios", std::move(lista)}};
}

}  // namespace vemlo::finder::host
