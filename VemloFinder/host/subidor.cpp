// The upload workers: a time-ordered queue, entries on their way, and retries.
#include "subidor.h"

#include <future>

#include "finder/elemento.h"

namespace vemlo::finder::host {
namespace {

constexpr auto mayorPausa = std::chrono::minutes(5);

std::chrono::steady_clock::duration pausaTras(int fallos) {
  const auto pausa = std::chrono::seconds(1LL << std::min(fallos - 1, 9));
  return std::min<std::chrono::steady_clock::duration>(pausa, mayorPausa);
}

std::string textoDe(std::exception_ptr e) {
  try {
    std::rethrow_exception(e);
  } catch (const std::exception& x) {
    return x.what();
  } catch (...) {
    return "unknown failure";
  }
}

}  // namespace

Subidor::Subidor(Pendientes& pendientes, fp::ReplicatedExtension& ext, AlSubir alSubir, int hilos)
    : pendientes_(pendientes), ext_(ext), alSubir_(std::move(alSubir)) {
  for (int i = 0; i < hilos; ++i)
    hilos_.emplace_back([this](std::stop_token parar) { trabajar(parar); });
}

Subidor::~Subidor() {
  for (auto& h : hilos_) h.request_stop();
  hilos_.clear();
}

void Subidor::encolar(const std::string& clave) {
  std::lock_guard candado(candado_);
  retenidas_.erase(clave);
  if (enCamino_.contains(clave)) {
    otraVez_.insert(clave);
    return;
  }
  sacarDeLaCola(clave);
  cola_.emplace(std::chrono::steady_clock::now(), clave);
  hay_.notify_one();
}

void Subidor::retener(const std::string& clave, std::function<void()> listo) {
  if (clave.empty()) return listo();
  {
    std::lock_guard candado(candado_);
    retenidas_.insert(clave);
    if (enCamino_.contains(clave)) {
      esperando_[clave].push_back(std::move(listo));
      return;
    }
    sacarDeLaCola(clave);
  }
  listo();
}

void Subidor::sacarDeLaCola(const std::string& clave) {
  std::erase_if(cola_, [&](const auto& par) { return par.second == clave; });
}

void Subidor::trabajar(std::stop_token parar) {
  while (!parar.stop_requested()) {
    std::string clave;
    {
      std::unique_lock candado(candado_);
      const auto listo = [&] {
        return !cola_.empty() && cola_.begin()->first <= std::chrono::steady_clock::now();
      };
      if (cola_.empty()) {
        hay_.wait(candado, parar, [&] { return !cola_.empty(); });
        continue;
      }
      if (!listo()) {
        const auto cuando = cola_.begin()->first;  // a copy: others may take the entry
        hay_.wait_until(candado, parar, cuando, listo);
        continue;
      }
      clave = cola_.begin()->second;
      cola_.erase(cola_.begin());
      enCamino_.insert(clave);
    }
    bool exito = false;
    try {
      exito = subir(clave, parar);
    } catch (...) {
      // A store that cannot be written: the entry stays as it was and is tried again.
    }
    terminar(clave, exito);
  }
}

bool Subidor::subir(const std::string& clave, std::stop_token parar) {
  auto pendiente = pendientes_.buscar(clave);
  if (!pendiente) return true;  // removed meanwhile: nothing to send
  fp::PlainItem item;
  item.identifier = pendiente->id;
  item.parent = pendiente->padre;
  item.name = pendiente->nombre;
  item.type = tipoPorExtension(pendiente->nombre);
  std::promise<std::pair<fp::ItemPtr, std::exception_ptr>> promesa;
  const auto completar = [&](fp::ItemPtr hecho, fp::ItemFields, bool, std::exception_ptr e) {
    promesa.set_value({std::move(hecho), e});
  };
  const auto copia = pendientes_.copia(clave);
  auto progreso = pendiente->id.empty()
                      ? ext_.createItem(item, 0, copia, 0, completar)
                      : ext_.modifyItem(item, {}, fp::contents, copia, 0, completar);
  std::stop_callback cancelar(parar, [&] { progreso->cancel(); });
  const auto [hecho, error] = promesa.get_future().get();
  if (hecho) {
    bool final;
    {
      std::lock_guard candado(candado_);
      final = !otraVez_.contains(clave);
    }
    alSubir_(*pendiente, *hecho, final);
    return true;
  }
  if (parar.stop_requested()) return false;
  pendiente->intentos += 1;
  pendiente->ultimoFallo = textoDe(error);
  pendientes_.actualizar(*pendiente);
  return false;
}

void Subidor::terminar(const std::string& clave, bool exito) {
  std::vector<std::function<void()>> listos;
  {
    std::lock_guard candado(candado_);
    enCamino_.erase(clave);
    listos.swap(esperando_[clave]);
    esperando_.erase(clave);
    const bool otra = otraVez_.erase(clave) > 0;
    if (exito) fallos_.erase(clave);
    const auto ahora = std::chrono::steady_clock::now();
    const auto cuando = exito ? ahora : ahora + pausaTras(++fallos_[clave]);
    if ((otra || !exito) && !retenidas_.contains(clave)) cola_.emplace(cuando, clave);
    hay_.notify_one();
  }
  for (auto& listo : listos) listo();
}

}  // namespace vemlo::finder::host
