// The extension's session context, its listings and crawl, and the request shape every
// system request shares: one task, the progress returned at once, one completion.
#include "finder/extension.h"

#include <algorithm>
#include <thread>

#include "finder/errores.h"
#include "interno.h"
#include "recorrido.h"
#include "vemlo/sesion.h"

namespace vemlo::finder {
namespace {

fp::ItemPtr elemento(const std::optional<Ficha>& ficha) {
  if (!ficha) return nullptr;
  return std::make_shared<Elemento>(*ficha);
}

}  // namespace

ExtensionVemlo::ExtensionVemlo(fp::Domain dominio)
    : dominio_(std::move(dominio)), indice_(dominio_.identifier) {}

std::unique_ptr<fp::Enumerator> ExtensionVemlo::enumerator(const fp::ItemIdentifier& contenedor) {
  return std::make_unique<Enumerador>(contenedor, *this);
}

Contexto ExtensionVemlo::contexto(std::stop_token parar) {
  const auto token = SesionGuardada::leer();
  if (!token) throw fp::Error(fp::notAuthenticated);
  {
    std::lock_guard candado(candado_);
    if (guardado_ && guardado_->api->token() == token) return *guardado_;
  }
  auto api = std::make_shared<const Vemlo>(*token);
  const auto cuenta = api->yo(std::move(parar));
  const auto& lista = cuenta.organizaciones;
  const auto org = std::find_if(lista.begin(), lista.end(),
                                [&](const auto& o) { return o.id == dominio_.identifier; });
  if (org == lista.end()) throw fp::Error(fp::notAuthenticated);
  Contexto nuevo{std::move(api), org->id, org->carpetaRaizId, org->rol != "lector"};
  std::lock_guard candado(candado_);
  guardado_ = nuevo;
  return nuevo;
}

std::vector<Ficha> ExtensionVemlo::hijos(const fp::ItemIdentifier& contenedor,
                                         std::stop_token parar) {
  const auto ctx = contexto(parar);
  const auto carpeta = carpetaDe(destino(contenedor, ctx.raizId), ctx.raizId);
  if (!carpeta) return {};
  auto fichas = fichasDe(ctx.api->verCarpeta(*carpeta, parar), ctx.raizId);
  indice_.anotar(fichas);
  return fichas;
}

Foto ExtensionVemlo::recorrer(std::stop_token parar) {
  const auto ctx = contexto(parar);
  auto foto = Recorrido(*ctx.api, ctx.raizId, std::move(parar)).hacer(limite_);
  sobreLimite_ = foto.recorte.cortada;
  return foto;
}

std::vector<fp::ItemPtr> ExtensionVemlo::conocidos(const fp::ItemIdentifier& contenedor) const {
  std::vector<fp::ItemPtr> items;
  if (contenedor == fp::trashContainer || contenedor == fp::workingSet) return items;
  for (auto& ficha : indice_.hijosDe(contenedor))
    items.push_back(std::make_shared<Elemento>(std::move(ficha)));
  return items;
}

fp::ItemPtr ExtensionVemlo::raizConocida() const {
  const auto hijos = indice_.hijosDe(fp::rootContainer);
  if (hijos.empty()) return nullptr;
  // A folder view gives all its items the person's role in it, so any item tells the root's.
  return std::make_shared<Elemento>(fichaRaiz(hijos.front().editable));
}

fp::ProgressPtr ExtensionVemlo::item(const fp::ItemIdentifier& id, fp::ItemCompletion completar) {
  auto progreso = std::make_shared<fp::Progress>();
  tareas_.lanzar(progreso, [this, id, completar = std::move(completar)](std::stop_token parar) {
    auto [ficha, error] = intentar([&] { return buscarItem(id, parar); });
    completar(elemento(ficha), std::move(error));
  });
  return progreso;
}

fp::ProgressPtr ExtensionVemlo::fetchContents(const fp::ItemIdentifier& id,
                                              const std::optional<fp::ItemVersion>&,
                                              fp::ContentsCompletion completar) {
  return traer(id, std::nullopt, {}, std::move(completar));
}

fp::ProgressPtr ExtensionVemlo::fetchContentsInto(const fp::ItemIdentifier& id,
                                                  const std::filesystem::path& archivo,
                                                  fp::ContentsArrival alLlegar,
                                                  fp::ContentsCompletion completar) {
  return traer(id, archivo, std::move(alLlegar), std::move(completar));
}

fp::ProgressPtr ExtensionVemlo::fetchPartialContents(const fp::ItemIdentifier& id,
                                                     std::int64_t desde, std::int64_t largo,
                                                     fp::PartialContentsCompletion completar) {
  auto progreso = std::make_shared<fp::Progress>();
  tareas_.lanzar(
      progreso, [this, id, desde, largo, completar = std::move(completar)](std::stop_token parar) {
        auto [bytes, error] = intentar([&] { return traerTramo(id, desde, largo, parar); });
        completar(std::move(bytes), std::move(error));
      });
  return progreso;
}

fp::ProgressPtr ExtensionVemlo::traer(const fp::ItemIdentifier& id,
                                      std::optional<std::filesystem::path> archivo,
                                      fp::ContentsArrival alLlegar,
                                      fp::ContentsCompletion completar) {
  auto progreso = std::make_shared<fp::Progress>(100);
  tareas_.lanzar(progreso, [this, id, archivo = std::move(archivo), alLlegar = std::move(alLlegar),
                            progreso = progreso.get(),
                            completar = std::move(completar)](std::stop_token parar) {
    auto [traido, error] =
        intentar([&] { return traerContenido(id, archivo, alLlegar, *progreso, parar); });
    if (!traido) return completar(std::nullopt, nullptr, std::move(error));
    completar(traido->first, elemento(traido->second), nullptr);
  });
  return progreso;
}

fp::ProgressPtr ExtensionVemlo::createItem(const fp::Item& plantilla, fp::ItemFields,
                                           const std::optional<std::filesystem::path>& contenido,
                                           fp::Options, fp::ChangeCompletion completar) {
  auto progreso = std::make_shared<fp::Progress>(100);
  const auto cambio = Cambio::de(plantilla, fp::contents, contenido);
  tareas_.lanzar(progreso, [this, cambio, progreso = progreso.get(),
                            completar = std::move(completar)](std::stop_token parar) {
    auto [ficha, error] = intentar([&] { return crear(cambio, *progreso, parar); });
    completar(elemento(ficha), 0, false, std::move(error));
  });
  return progreso;
}

fp::ProgressPtr ExtensionVemlo::modifyItem(const fp::Item& item, const fp::ItemVersion&,
                                           fp::ItemFields cambiados,
                                           const std::optional<std::filesystem::path>& contenido,
                                           fp::Options, fp::ChangeCompletion completar) {
  auto progreso = std::make_shared<fp::Progress>(100);
  const auto cambio = Cambio::de(item, cambiados, contenido);
  tareas_.lanzar(progreso, [this, cambio, progreso = progreso.get(),
                            completar = std::move(completar)](std::stop_token parar) {
    auto [ficha, error] = intentar([&] { return modificar(cambio, *progreso, parar); });
    completar(elemento(ficha), 0, false, std::move(error));
  });
  return progreso;
}

fp::ProgressPtr ExtensionVemlo::deleteItem(const fp::ItemIdentifier& id, const fp::ItemVersion&,
                                           fp::Options, fp::ErrorCompletion completar) {
  auto progreso = std::make_shared<fp::Progress>();
  tareas_.lanzar(progreso, [this, id, completar = std::move(completar)](std::stop_token parar) {
    completar(intentar([&] { borrar(id, parar); }));
  });
  return progreso;
}

fp::ProgressPtr ExtensionVemlo::fetchThumbnails(const std::vector<fp::ItemIdentifier>& ids,
                                                std::uint32_t, fp::ThumbnailCompletion porMiniatura,
                                                fp::ErrorCompletion completar) {
  auto progreso = std::make_shared<fp::Progress>(static_cast<std::int64_t>(ids.size()));
  tareas_.lanzar(progreso,
                 [this, ids, progreso = progreso.get(), porMiniatura = std::move(porMiniatura),
                  completar = std::move(completar)](std::stop_token parar) {
                   const auto ctx = intentar([&] { return contexto(parar); }).first;
                   if (!ctx) {
                     for (const auto& id : ids) porMiniatura(id, std::nullopt, nullptr);
                     return completar(nullptr);
                   }
                   {
                     std::vector<std::jthread> hilos;
                     for (const auto& id : ids)
                       hilos.emplace_back([&, id] {
                         std::optional<std::string> datos;
                         try {
                           datos = miniaturaDe(*ctx, id, parar);
                         } catch (...) {
                           // No thumbnail is the whole answer to any failure.
                         }
                         porMiniatura(id, std::move(datos), nullptr);
                         progreso->addCompletedUnits(1);
                       });
                   }
                   completar(nullptr);
                 });
  return progreso;
}

}  // namespace vemlo::finder
