// ExtensionVemlo: the file-provider extension of one domain (one company). It owns the
// domain's index, finds the signed-in session for every request, and serves the system's
// requests as independent tasks against the service.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "finder/elemento.h"
#include "finder/indice.h"
#include "finder/proveedor.h"
#include "finder/tareas.h"
#include "vemlo/cliente.h"

namespace vemlo::finder {

// What every request needs: a client for the session and the company's facts.
struct Contexto {
  std::shared_ptr<const Vemlo> api;
  std::string organizacionId;
  std::string raizId;
  bool editable = false;
};

class ExtensionVemlo : public fp::ReplicatedExtension,
                       public fp::StreamingContents,
                       public fp::Thumbnailing {
 public:
  explicit ExtensionVemlo(fp::Domain dominio);
  ~ExtensionVemlo() override = default;

  void invalidate() override {}
  std::unique_ptr<fp::Enumerator> enumerator(const fp::ItemIdentifier& contenedor) override;
  fp::ProgressPtr item(const fp::ItemIdentifier& id, fp::ItemCompletion completar) override;
  fp::ProgressPtr fetchContents(const fp::ItemIdentifier& id,
                                const std::optional<fp::ItemVersion>& version,
                                fp::ContentsCompletion completar) override;
  fp::ProgressPtr fetchContentsInto(const fp::ItemIdentifier& id,
                                    const std::filesystem::path& archivo,
                                    fp::ContentsArrival alLlegar,
                                    fp::ContentsCompletion completar) override;
  fp::ProgressPtr fetchPartialContents(const fp::ItemIdentifier& id, std::int64_t desde,
                                       std::int64_t largo,
                                       fp::PartialContentsCompletion completar) override;
  fp::ProgressPtr createItem(const fp::Item& plantilla, fp::ItemFields campos,
                             const std::optional<std::filesystem::path>& contenido,
                             fp::Options opciones, fp::ChangeCompletion completar) override;
  fp::ProgressPtr modifyItem(const fp::Item& item, const fp::ItemVersion& base,
                             fp::ItemFields cambiados,
                             const std::optional<std::filesystem::path>& contenido,
                             fp::Options opciones, fp::ChangeCompletion completar) override;
  fp::ProgressPtr deleteItem(const fp::ItemIdentifier& id, const fp::ItemVersion& base,
                             fp::Options opciones, fp::ErrorCompletion completar) override;
  fp::ProgressPtr fetchThumbnails(const std::vector<fp::ItemIdentifier>& ids, std::uint32_t tamano,
                                  fp::ThumbnailCompletion porMiniatura,
                                  fp::ErrorCompletion completar) override;

  // The session's context: the stored token, the account's membership of this company.
  // Cached per token; fails with notAuthenticated or the account request's failure.
  Contexto contexto(std::stop_token parar = {});
  // The children of a container, fetched and noted in the index.
  std::vector<Ficha> hijos(const fp::ItemIdentifier& contenedor, std::stop_token parar = {});
  // Every record below the company's root folder, until the crawl reaches `limite()` records
  // (then cut, and the company is over the limit until a crawl sees all of it).
  Foto recorrer(std::stop_token parar = {});
  bool sobreLimite() const { return sobreLimite_; }
  // What the index knows, without asking the service (for when it cannot be reached): the
  // items of a container, and the root with the rights its items show (nothing when the
  // index has no item of the root to tell them).
  std::vector<fp::ItemPtr> conocidos(const fp::ItemIdentifier& contenedor) const;
  fp::ItemPtr raizConocida() const;
  std::size_t limite() const { return limite_; }
  // A lower limit, for tests of a company over it.
  void ponerLimite(std::size_t limite) { limite_ = limite; }

  const fp::Domain& dominio() const { return dominio_; }
  Indice& indice() { return indice_; }
  Tareas& tareas() { return tareas_; }

 private:
  struct Cambio;
  Ficha buscarItem(const fp::ItemIdentifier& id, std::stop_token parar);
  // The item's bytes into `archivo` (a new file in the domain's temporary directory when
  // none is given), followed by `alLlegar` when there is one.
  fp::ProgressPtr traer(const fp::ItemIdentifier& id, std::optional<std::filesystem::path> archivo,
                        fp::ContentsArrival alLlegar, fp::ContentsCompletion completar);
  std::pair<std::filesystem::path, Ficha> traerContenido(
      const fp::ItemIdentifier& id, std::optional<std::filesystem::path> archivo,
      const fp::ContentsArrival& alLlegar, fp::Progress& progreso, std::stop_token parar);
  std::string traerTramo(const fp::ItemIdentifier& id, std::int64_t desde, std::int64_t largo,
                         std::stop_token parar);
  Ficha crear(const Cambio& plantilla, fp::Progress& progreso, std::stop_token parar);
  Ficha crearCarpeta(const Contexto& ctx, const Cambio& plantilla, const std::string& destinoId,
                     std::stop_token parar);
  Ficha modificar(const Cambio& item, fp::Progress& progreso, std::stop_token parar);
  bool reubicar(const Contexto& ctx, const Cambio& item, const Ficha& ficha, std::stop_token parar);
  void borrar(const fp::ItemIdentifier& id, std::stop_token parar);
  Ficha buscarEntreHijos(const fp::ItemIdentifier& id, const fp::ItemIdentifier& padre,
                         std::stop_token parar);
  std::optional<std::string> miniaturaDe(const Contexto& ctx, const fp::ItemIdentifier& id,
                                         std::stop_token parar);

  const fp::Domain dominio_;
  Indice indice_;
  std::mutex candado_;  // guards guardado_ only; never held across a request
  std::optional<Contexto> guardado_;
  std::atomic<std::size_t> limite_{100'000};
  std::atomic<bool> sobreLimite_{false};
  Tareas tareas_;  // last: its destructor stops and joins tasks that use the members above
};

}  // namespace vemlo::finder
