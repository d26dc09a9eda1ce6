// The upload workers: a time-ordered queue, entries on their way, and retries.
#include "subidor.h"

#include <future>

#include "errores_fuse.h"
#include "finder/elemento.h"
#include "motivos.h"
#include "vemlo/error.h"

namespace vemlo::finder::host {
namespace {

constexpr auto mayorPausa = std::chrono::minutes(5);

std::chrono::steady_clock::duration pausaTras(int fallos) {
  const auto pausa = std::chrono::seconds(1LL << std::min(fallos - 1, 9));
  return std::min<std::chrono::steady_clock::duration>(pausa, mayorPausa);
}

// A refusal of the request itself: sending it again unchanged gets the same answer. Not a
// session that ended (signing in again mends it), nor a failure worth another try.
bool rechazoFirme(const ErrorVemlo& e) {
  return e.caso() == ErrorVemlo::Caso::api && !reintentable(e) && e.estado() != 401 &&
         e.codigo() != "sesion";
}

}  // namespace

Desenlace desenlaceDe(std::exception_ptr fallo) {
  try {
    std::rethrow_exception(fallo);
  } catch (const fp::Error& e) {
    if (e == fp::Error(fp::filenameCollision)) return Desenlace::chocar;
    if (e == fp::Error(fp::fileWriteNoPermission) || e == fp::Error(fp::insufficientQuota) ||
        e == fp::Error(fp::noSuchItem))
      return Desenlace::detener;
    const auto causa = causaDelServicio(e);
    return causa && rechazoFirme(*causa) ? Desenlace::detener : Desenlace::reintentar;
  } catch (...) {
    return Desenlace::reintentar;
  }
}

Subidor::Subidor(Pendientes& pendientes, fp::ReplicatedExtension& ext, Avisos avisos, int hilos)
    : pendientes_(pendientes), ext_(ext), avisos_(std::move(avisos)) {
  for (int i = 0; i < hilos; ++i)
    hilos_.emplace_back([this](std::stop_token parar) { trabajar(parar); });
}

Subidor::~Subidor() {
  detener();
}

void Subidor::detener() {
  for (auto& h : hilos_) h.request_stop();
  hilos_.clear();
  std::map<std::string, std::vector<std::function<void()>>> soltados;
  {
    std::lock_guard candado(candado_);
    soltados.swap(esperando_);
  }
  // Dropped outside the lock: what they hold may queue again.
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

void Subidor::reintentarYa() {
  std::lock_guard candado(candado_);
  fallos_.clear();
  const auto ahora = std::chrono::steady_clock::now();
  decltype(cola_) yaMismo;
  for (auto& [cuando, clave] : cola_) yaMismo.emplace(std::min(cuando, ahora), std::move(clave));
  cola_.swap(yaMismo);
  hay_.notify_all();
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
    auto desenlace = Desenlace::reintentar;
    try {
      desenlace = subir(clave, parar);
    } catch (...) {
      // A store that cannot be written: the entry stays as it was and is tried again.
    }
    terminar(clave, desenlace);
  }
}

Desenlace Subidor::subir(const std::string& clave, std::stop_token parar) {
  auto pendiente = pendientes_.buscar(clave);
  if (!pendiente) return Desenlace::subida;  // removed meanwhile: nothing to send
  const auto cambios = pendientes_.cambios(clave);
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
    avisos_.alSubir(*pendiente, cambios, *hecho);
    return Desenlace::subida;
  }
  if (parar.stop_requested()) return Desenlace::reintentar;
  const auto desenlace = desenlaceDe(error);
  if (esErrorDeProveedor(error, fp::serverUnreachable) && avisos_.alNoAlcanzar)
    avisos_.alNoAlcanzar();
  fallar(*pendiente, error, desenlace);
  return desenlace;
}

// Notes the failure in the entry (a conflict renames it first).
void Subidor::fallar(Pendiente pendiente, std::exception_ptr fallo, Desenlace desenlace) {
  if (desenlace == Desenlace::chocar) {
    avisos_.alChocar(pendiente);
    if (auto renombrada = pendientes_.buscar(pendiente.clave)) pendiente = *renombrada;
  }
  pendiente.intentos += 1;
  pendiente.ultimoFallo = codigoDe(fallo);
  pendiente.detenida = desenlace == Desenlace::detener;
  pendientes_.actualizar(pendiente);
}

// Queues the entry again when it was written meanwhile, at once after a conflict (it has its
// new name), later after a temporary failure; a stopped entry waits for its next write.
void Subidor::terminar(const std::string& clave, Desenlace desenlace) {
  std::vector<std::function<void()>> listos;
  {
    std::lock_guard candado(candado_);
    enCamino_.erase(clave);
    listos.swap(esperando_[clave]);
    esperando_.erase(clave);
    const bool otra = otraVez_.erase(clave) > 0;
    if (desenlace != Desenlace::reintentar) fallos_.erase(clave);
    const auto ahora = std::chrono::steady_clock::now();
    const bool despues = desenlace == Desenlace::reintentar;
    const auto cuando = despues ? ahora + pausaTras(++fallos_[clave]) : ahora;
    const bool otraVez = otra || despues || desenlace == Desenlace::chocar;
    if (otraVez && !retenidas_.contains(clave)) cola_.emplace(cuando, clave);
    hay_.notify_one();
  }
  for (auto& listo : listos) listo();
}

}  // namespace vemlo::finder::host
