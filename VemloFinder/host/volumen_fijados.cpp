// Files kept on this device: a task of the volume walks every pinned item (a folder through
// its listings, fetched again when older than the table's freshness), protects from eviction
// the pinned files that fit under the cache limit and downloads those missing. Files already
// here come first, so a new pin never pushes an older one out; what does not fit is reported.
// Any change the host learns of while something is pinned rings the task again, so a new
// version of a pinned file is fetched again after the signal or listing that brought it; a
// pass that failed somewhere (offline) is tried again after a pause.
#include <future>

#include "volumen_interno.h"

namespace vemlo::finder::host {
namespace {

// Runs `lanzar` with a completion and waits for it on this thread; gives its failure.
std::exception_ptr esperarFin(
    const std::function<void(std::function<void(std::exception_ptr)>)>& lanzar) {
  auto fin = std::make_shared<std::promise<std::exception_ptr>>();
  auto futuro = fin->get_future();
  lanzar([fin](std::exception_ptr e) { fin->set_value(e); });
  return futuro.get();
}

bool esFalta(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const fp::Error& error) {
    return error == fp::Error(fp::noSuchItem);
  } catch (...) {
    return false;
  }
}

// A pinned file and where it is below the mount.
struct Fijo {
  Nodo nodo;
  std::string ruta;
};

// The walk of one pass: every file below the pinned items, each once.
class Recorrido {
 public:
  Recorrido(Volumen::Estado& e, std::stop_token parar) : e_(e), parar_(std::move(parar)) {}

  void desde(const std::string& id) {
    auto n = e_.arbol.porId(id);
    if (!n || !n->presente) n = traer(id);
    if (n && n->presente) recoger(*n, rutaDe(*n));
  }

  std::vector<Fijo> archivos;
  bool completo = true;  // false when an item or a listing could not be had

 private:
  // An item the table does not hold yet (pinned by identifier, or at the start).
  std::optional<Nodo> traer(const std::string& id) {
    fp::ItemPtr item;
    const auto fallo = esperarFin([&](auto fin) {
      e_.ext.item(id, [&item, fin](fp::ItemPtr i, std::exception_ptr e) {
        item = std::move(i);
        fin(e);
      });
    });
    // An item the service no longer has is no longer kept.
    if (fallo && esFalta(fallo)) e_.fijados.soltar(id);
    if (fallo && !esFalta(fallo)) completo = false;
    if (fallo || !item) return std::nullopt;
    return e_.arbol.aplicar(*item);
  }

  std::string rutaDe(const Nodo& n) const {
    std::string ruta = n.nombre;
    for (auto padre = e_.arbol.porId(n.padre); padre && padre->ino != FUSE_ROOT_ID;
         padre = e_.arbol.porId(padre->padre))
      ruta = padre->nombre + "/" + ruta;
    return ruta;
  }

  void recoger(const Nodo& n, const std::string& ruta) {
    if (parar_.stop_requested() || !vistos_.insert(n.id).second) return;
    if (!n.esCarpeta) {
      // A file written here and not uploaded yet is in the staging store, never evicted.
      if (n.clave.empty() && !esLocal(n.id)) archivos.push_back({n, ruta});
      return;
    }
    if (!e_.arbol.fresco(n.ino, vigenciaListado) &&
        esperarFin([&](auto fin) { e_.listar(n, fin); }))
      return static_cast<void>(completo = false);
    for (const auto& hijo : e_.arbol.hijos(n.ino))
      recoger(hijo, ruta.empty() ? hijo.nombre : ruta + "/" + hijo.nombre);
  }

  Volumen::Estado& e_;
  std::stop_token parar_;
  std::set<std::string> vistos_;
};

bool descargar(Volumen::Estado& e, const Nodo& n) {
  return !esperarFin(
      [&](auto fin) { e.conContenido(n, [fin](auto, std::exception_ptr fallo) { fin(fallo); }); });
}

std::uint64_t tamanoDe(const Nodo& n) {
  return static_cast<std::uint64_t>(n.tamano);
}

// What a pass keeps: the pinned files here already, then the others in order while they fit.
struct Plan {
  Resumen resumen;
  std::set<std::string> protegidos;
  std::vector<Nodo> traer;
};

Plan planear(const std::vector<Fijo>& archivos, const CacheContenidos& cache) {
  Plan plan;
  for (const auto& [n, ruta] : archivos) {
    if (!cache.tiene(n.id, n.version)) continue;
    plan.protegidos.insert(n.id);
    plan.resumen.bytes += tamanoDe(n);
    ++plan.resumen.archivos;
  }
  auto ocupado = plan.resumen.bytes;
  for (const auto& [n, ruta] : archivos) {
    if (plan.protegidos.contains(n.id)) continue;
    if (ocupado + tamanoDe(n) <= cache.limite()) {
      plan.protegidos.insert(n.id);
      ocupado += tamanoDe(n);
      plan.traer.push_back(n);
      continue;
    }
    plan.resumen.sinSitio.push_back(ruta);
    plan.resumen.bytesSinSitio += tamanoDe(n);
  }
  return plan;
}

}  // namespace

void Volumen::Estado::mantenerFijados(std::stop_token parar) {
  std::optional<std::chrono::seconds> plazo;
  while (timbre.esperar(parar, plazo)) {
    bool hecho = false;
    try {
      hecho = pasarFijados(parar);
    } catch (const std::exception&) {
      // A cache or disk failure: tried again like an offline pass.
    }
    plazo = hecho ? std::nullopt : std::optional(reintentoFijados);
  }
}

bool Volumen::Estado::pasarFijados(std::stop_token parar) {
  Recorrido recorrido(*this, parar);
  for (const auto& id : fijados.todos()) recorrido.desde(id);
  if (parar.stop_requested()) return true;
  auto plan = planear(recorrido.archivos, cache);
  // A walk cut short (offline) lets nothing go that was kept.
  if (!recorrido.completo) plan.protegidos.merge(fijados.protegidos());
  fijados.proteger(plan.protegidos);  // stored first, so a restart keeps what is kept now
  cache.proteger(plan.protegidos);
  fijados.informar(plan.resumen);
  bool hecho = recorrido.completo;
  for (const auto& n : plan.traer) {
    if (parar.stop_requested()) break;
    if (!descargar(*this, n)) {
      hecho = false;
      continue;
    }
    plan.resumen.bytes += tamanoDe(n);
    ++plan.resumen.archivos;
    fijados.informar(plan.resumen);
  }
  return hecho;
}

}  // namespace vemlo::finder::host
