// The thumbnail worker: takes the oldest waiting file, does nothing when the cache already
// has its thumbnails for the file as it is (or holds another file's under that name), and
// otherwise fetches the service's thumbnail once and writes both sizes from it.
#include "miniaturas.h"

#include <array>

namespace vemlo::finder::host {
namespace {

// The normal one last: GLib 2.74 looks for it first, so once it is valid both are there.
constexpr std::array medidas{medidaGrande, medidaNormal};

}  // namespace

Miniaturas::Miniaturas(CacheMiniaturas cache, TraerMiniatura traer)
    : cache_(std::move(cache)),
      traer_(std::move(traer)),
      hilo_([this](std::stop_token parar) { trabajar(parar); }) {}

Miniaturas::~Miniaturas() {
  detener();
}

void Miniaturas::detener() {
  if (!hilo_.joinable()) return;
  hilo_.request_stop();
  hilo_.join();
}

void Miniaturas::encargar(std::vector<Encargo> encargos) {
  if (encargos.size() > porListado) encargos.resize(porListado);
  std::lock_guard bloqueo(candado_);
  for (auto& encargo : encargos) {
    const auto [lugar, nuevo] = esperando_.try_emplace(encargo.id, encargo);
    if (!nuevo) {
      lugar->second = std::move(encargo);
      continue;
    }
    if (cola_.size() >= enEspera) {
      esperando_.erase(lugar);
      break;
    }
    cola_.push_back(lugar->first);
  }
  hayEncargos_.notify_one();
}

void Miniaturas::trabajar(std::stop_token parar) {
  while (true) {
    Encargo encargo;
    {
      std::unique_lock bloqueo(candado_);
      // The wait gives the queue's state even when stopped: the stop is checked on its own.
      hayEncargos_.wait(bloqueo, parar, [&] { return !cola_.empty(); });
      if (parar.stop_requested()) return;
      auto nodo = esperando_.extract(cola_.front());
      cola_.pop_front();
      encargo = std::move(nodo.mapped());
    }
    try {
      hacer(encargo, parar);
    } catch (...) {
      // A thumbnail that cannot be made now is made at a later listing, or by the file
      // manager itself.
    }
  }
}

void Miniaturas::hacer(const Encargo& encargo, std::stop_token parar) {
  const Origen origen{uriDe(encargo.ruta), encargo.mtime, encargo.tamano};
  if (origen.uri.empty()) return;
  std::vector<Medida> faltan;
  for (const auto& medida : medidas) {
    const auto situacion = cache_.situacion(medida, origen);
    if (situacion == CacheMiniaturas::Situacion::falta ||
        situacion == CacheMiniaturas::Situacion::vieja)
      faltan.push_back(medida);
  }
  if (faltan.empty()) return;
  const auto jpeg = traer_(encargo.id, parar);
  if (!jpeg || parar.stop_requested()) return;
  for (const auto& medida : faltan) {
    const auto pixeles = pixelesDeImagen(*jpeg, medida.lado);
    if (!pixeles) return;
    cache_.escribir(medida, origen.uri, pngDe(*pixeles, origen));
  }
}

}  // namespace vemlo::finder::host
