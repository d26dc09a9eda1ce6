// Anfitrion: the vemlo-finder host. It keeps one Volumen per enabled domain of the registry,
// mounted at the domain's mount point, follows the registry's and the cache limit's changes
// while it runs, and answers the control socket's requests: the change signal of one domain,
// pins, the cache limit and the status.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "finder/dominios.h"
#include "vemlo/conectividad.h"
#include "vemlo/descriptor.h"
#include "volumen.h"

namespace vemlo::finder::host {

// An eventfd that a stop request writes to, so that a thread waiting in poll wakes at once.
class Despertador {
 public:
  explicit Despertador(std::stop_token parar);
  Despertador(const Despertador&) = delete;
  Despertador& operator=(const Despertador&) = delete;

  // Waits until `fd` can be read (true) or a stop is requested (false).
  bool esperar(int fd) const;

 private:
  Descriptor fd_;
  std::stop_callback<std::function<void()>> alParar_;
};

// Why a mount failed: the reason's code and the failure's own text.
struct Fallo {
  std::string codigo;
  std::string detalle;
};

// What the host tells whoever runs it; called on the thread that synchronises.
struct Avisos {
  // A domain could not be mounted (again at every retry).
  std::function<void(const DominioRegistrado& dominio, const std::string& motivo)> alFallar;
  // The first synchronisation is done: how many domains are mounted.
  std::function<void(std::size_t montados)> alEmpezar;
};

class Anfitrion {
 public:
  explicit Anfitrion(Avisos avisos = {});
  ~Anfitrion();  // unmounts every domain; pending uploads stay on disk for the next start
  Anfitrion(const Anfitrion&) = delete;
  Anfitrion& operator=(const Anfitrion&) = delete;

  // Makes the mounts match the registry: mounts every enabled domain not mounted yet (a
  // failure is kept as the domain's reason and retried next time), unmounts the domains
  // removed or switched off, and remounts a renamed domain at its new mount point.
  void sincronizar();

  // Synchronises once, then again whenever the registry's file changes (and applies the cache
  // limit whenever its file changes), until `parar`.
  void seguir(std::stop_token parar);

  // Runs the change signal of a mounted domain; fails with a Motivo ("sinCarpeta",
  // "sinMontar") or with the failure of the domain's enumeration.
  void senal(const std::string& identifier);

  // Keeps an item of a mounted domain on this device, or lets it go; fails as senal does, or
  // with std::invalid_argument for an identifier that is not the service's.
  void fijar(const std::string& identifier, const std::string& id, bool fijado);

  // Stores the content cache's limit and applies it to every domain.
  void limitarCache(std::uint64_t bytes);

  // The item at an absolute path inside a mounted domain's folder: {"identifier" (the
  // domain's), "id" and "padre" (the service's ids; "" for the
  // root), "carpeta", "raiz"}. The path must be plain, as realpath gives it, and the
  // item known to the table (its folder was listed). Fails with a Motivo: "fueraDeCarpeta"
  // outside every mount, "sinElemento" for a name the table does not know, "sinSubir" for a
  // file made here that the service does not have yet.
  nlohmann::json ubicar(const std::string& ruta) const;

  // {"limiteCache": bytes, "dominios": [{"identifier", "displayName", "enabled", "puntoDeMontaje",
  // "montado", "sobreLimite", "sinRed" (mounted, but the service could not be reached at the last
  // try: the folder shows what the index and the cache hold, writes wait, and the host catches up
  // by itself when the service answers), "motivo" (a code, or null), "detalle" (its English
  // detail, or null), "pendientes":
  // [{"nombre", "padre", "id", "intentos", "ultimoFallo" (a code), "detenida"}],
  // "llamadas": {kind: count of the kernel's requests}, "cache": {"ocupados", "limite",
  // "fijados": {"ids": [pinned items], "archivos", "bytes", "sinSitio": [paths],
  // "bytesSinSitio"}}}]}, every
  // registered domain in registration order ("cache" only for a domain with a volume).
  nlohmann::json estado() const;

 private:
  struct Entrada {
    DominioRegistrado dominio;
    std::shared_ptr<Volumen> volumen;  // null until it could be made
    std::optional<Fallo> fallo;        // why the last mount failed
  };

  std::vector<std::shared_ptr<Volumen>> retirar(const std::vector<DominioRegistrado>& dominios);
  void montar(const DominioRegistrado& dominio);
  std::shared_ptr<Volumen> montadoDe(const std::string& identifier) const;
  void aplicarLimite(std::uint64_t bytes);
  std::size_t montados() const;
  // A network path appeared: every offline domain probes its service now.
  void probarYa();

  const Avisos avisos_;
  std::mutex sincronizando_;                  // one sincronizar at a time
  mutable std::mutex candado_;                // guards dominios_ and volumenes_
  std::vector<DominioRegistrado> dominios_;   // the registry as last read
  std::map<std::string, Entrada> volumenes_;  // by domain identifier
  MonitorRutas rutas_;                        // last: its thread calls probarYa, so it stops first
};

}  // namespace vemlo::finder::host
