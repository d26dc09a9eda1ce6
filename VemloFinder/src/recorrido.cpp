// The crawl's workers and its batches, with the order and stop rules of the crawl: batches of
// four folders, views taken as they finish, a vanished folder skipped, any other failure the
// end of the whole crawl, and no batch started once the result holds the record limit.
#include "recorrido.h"

#include <algorithm>

#include "finder/elemento.h"

namespace vemlo::finder {

void Buzon::pedir(std::vector<std::string> ids) {
  {
    std::lock_guard candado(candado_);
    for (auto& id : ids) porTraer_.push_back(std::move(id));
  }
  cambio_.notify_all();
}

std::optional<std::string> Buzon::tomar(std::stop_token parar) {
  std::unique_lock candado(candado_);
  if (!cambio_.wait(candado, parar, [&] { return !porTraer_.empty(); })) return std::nullopt;
  auto id = std::move(porTraer_.front());
  porTraer_.pop_front();
  return id;
}

void Buzon::entregar(Traida traida) {
  {
    std::lock_guard candado(candado_);
    traidas_.push_back(std::move(traida));
  }
  cambio_.notify_all();
}

Traida Buzon::esperar(std::stop_token parar) {
  std::unique_lock candado(candado_);
  if (!cambio_.wait(candado, parar, [&] { return !traidas_.empty(); }))
    throw ErrorVemlo::cancelado();
  auto traida = std::move(traidas_.front());
  traidas_.pop_front();
  return traida;
}

Recorrido::Recorrido(const Vemlo& api, std::string raizId, std::stop_token parar)
    : api_(api),
      raizId_(std::move(raizId)),
      enlace_(std::move(parar), [this] { cancelar_.request_stop(); }) {
  for (std::size_t i = 0; i < obreros; ++i) obreros_.emplace_back([this] { trabajar(); });
}

Recorrido::~Recorrido() {
  cancelar_.request_stop();
  obreros_.clear();
}

void Recorrido::trabajar() {
  while (auto id = buzon_.tomar(cancelar_.get_token())) buzon_.entregar(traer(*id));
}

Traida Recorrido::traer(const std::string& carpetaId) const {
  Traida traida{carpetaId, std::nullopt, {}, nullptr};
  try {
    auto vista = api_.verCarpeta(carpetaId, cancelar_.get_token());
    traida.hijas.reserve(vista.carpetas.size());
    for (const auto& c : vista.carpetas) traida.hijas.push_back(c.id);
    traida.fichas = fichasDe(std::move(vista), raizId_);
  } catch (const ErrorVemlo& e) {
    if (e.caso() != ErrorVemlo::Caso::api || e.codigo() != "noExiste")
      traida.fallo = std::current_exception();
  } catch (...) {
    traida.fallo = std::current_exception();
  }
  return traida;
}

std::vector<std::string> Recorrido::siguienteTanda(std::deque<std::string>& pendientes) const {
  const auto n = static_cast<std::ptrdiff_t>(std::min(obreros, pendientes.size()));
  std::vector<std::string> tanda(std::make_move_iterator(pendientes.begin()),
                                 std::make_move_iterator(pendientes.begin() + n));
  pendientes.erase(pendientes.begin(), pendientes.begin() + n);
  return tanda;
}

Foto Recorrido::hacer(std::size_t limite) {
  Foto foto;
  std::deque<std::string> pendientes{raizId_};
  while (foto.fichas.size() < limite && !pendientes.empty()) {
    auto tanda = siguienteTanda(pendientes);
    const auto cuantas = tanda.size();
    buzon_.pedir(std::move(tanda));
    for (std::size_t i = 0; i < cuantas; ++i) {
      auto traida = buzon_.esperar(cancelar_.get_token());
      if (traida.fallo) std::rethrow_exception(traida.fallo);  // the destructor cancels the rest
      foto.recorte.visitadas.insert(idDeCarpeta(traida.carpetaId, raizId_));
      if (!traida.fichas) continue;
      for (auto& f : *traida.fichas) {
        auto id = f.id;
        foto.fichas.insert_or_assign(std::move(id), std::move(f));
      }
      for (auto& h : traida.hijas) pendientes.push_back(std::move(h));
    }
  }
  foto.recorte.cortada = !pendientes.empty();
  return foto;
}

}  // namespace vemlo::finder
