// Items from index records, and the enumerations the system asks for.
#include "finder/elemento.h"

#include "finder/errores.h"
#include "finder/extension.h"
#include "vemlo/fecha.h"
#include "vemlo/tipos.h"

namespace vemlo::finder {
namespace {

constexpr std::size_t porLlamada = 200;

std::vector<fp::ItemPtr> elementos(std::vector<Ficha>::const_iterator desde,
                                   std::vector<Ficha>::const_iterator hasta) {
  std::vector<fp::ItemPtr> lista;
  lista.reserve(static_cast<std::size_t>(hasta - desde));
  for (; desde != hasta; ++desde) lista.push_back(std::make_shared<Elemento>(*desde));
  return lista;
}

// Hands `fichas` to `entregar` as items, at most 200 a call.
template <class Entregar>
void enTandas(const std::vector<Ficha>& fichas, Entregar entregar) {
  for (std::size_t i = 0; i < fichas.size(); i += porLlamada) {
    const auto fin = std::min(fichas.size(), i + porLlamada);
    entregar(elementos(fichas.begin() + static_cast<std::ptrdiff_t>(i),
                       fichas.begin() + static_cast<std::ptrdiff_t>(fin)));
  }
}

// The working set is crawled; any other container is listed from the service.
std::vector<Ficha> listar(ExtensionVemlo& ext, const std::string& contenedor,
                          std::stop_token parar) {
  if (contenedor == fp::trashContainer) return {};
  if (contenedor != fp::workingSet) return ext.hijos(contenedor, parar);
  auto foto = ext.recorrer(parar);
  ext.indice().reemplazar(std::move(foto.fichas), foto.recorte);
  return ext.indice().todas();
}

// Crawls, replaces the index and reports the difference.
void informarCambios(ExtensionVemlo& ext, fp::ChangeObserver& observador, std::stop_token parar) {
  auto& indice = ext.indice();
  Cambios cambios;
  std::exception_ptr fallo;
  try {
    if (!indice.tieneFoto()) throw fp::Error(fp::syncAnchorExpired);
    auto foto = ext.recorrer(parar);
    cambios = indice.reemplazar(std::move(foto.fichas), foto.recorte);
  } catch (...) {
    fallo = errorDeSistema(std::current_exception());
  }
  // Handed over outside the handler and moved: the waiting thread holds the only reference.
  if (fallo) return observador.finishEnumeratingWithError(std::move(fallo));
  enTandas(cambios.cambiadas, [&](auto lista) { observador.didUpdateItems(std::move(lista)); });
  if (!cambios.borradas.empty())
    observador.didDeleteItemsWithIdentifiers(std::move(cambios.borradas));
  observador.finishEnumeratingChangesUpToSyncAnchor(indice.ancla(), false);
}

}  // namespace

std::string tipoPorExtension(const std::string& nombre) {
  const auto punto = nombre.rfind('.');
  if (punto == std::string::npos) return fp::dataType;
  return tipoMime("x" + nombre.substr(punto));
}

std::string Elemento::contentType() const {
  return ficha_.esCarpeta ? fp::folderType : tipoPorExtension(ficha_.nombre);
}

std::optional<std::int64_t> Elemento::documentSize() const {
  if (ficha_.esCarpeta) return std::nullopt;
  return ficha_.tamano;
}

std::optional<fp::Date> Elemento::creationDate() const {
  return fechaDe(ficha_.fecha);
}

fp::ItemVersion Elemento::itemVersion() const {
  return {ficha_.fecha + "|" + std::to_string(ficha_.tamano),
          ficha_.nombre + "|" + ficha_.padre + "|" + (ficha_.editable ? "true" : "false")};
}

std::uint32_t Elemento::capabilities() const {
  if (!ficha_.editable) return fp::reading;
  if (ficha_.id == fp::rootContainer) return fp::reading | fp::writing;
  return fp::reading | fp::writing | fp::reparenting | fp::renaming | fp::trashing | fp::deleting;
}

std::vector<Ficha> fichasDe(VistaCarpeta vista, const std::string& raizId) {
  const auto padre = idDeCarpeta(vista.id, raizId);
  const bool editable = vista.rol != "lector";
  std::vector<Ficha> fichas;
  fichas.reserve(vista.carpetas.size() + vista.archivos.size());
  for (auto& c : vista.carpetas)
    fichas.push_back({idDeCarpeta(c.id, raizId), padre, std::move(c.nombre), true, 0,
                      std::move(c.creadaEn).value_or(""), editable});
  for (auto& a : vista.archivos) {
    a.id.insert(0, "a:");
    fichas.push_back({std::move(a.id), padre, std::move(a.nombre), false, a.tamanoBytes,
                      std::move(a.actualizadoEn), editable});
  }
  return fichas;
}

Ficha fichaRaiz(bool editable) {
  return {fp::rootContainer, fp::rootContainer, "Vemlo", true, 0, "", editable};
}

Ficha fichaPapelera() {
  return {fp::trashContainer, fp::trashContainer, "Trash", true, 0, "", true};
}

void Enumerador::enumerateItems(std::shared_ptr<fp::EnumerationObserver> observador, fp::Page) {
  ext_.tareas().lanzar(
      nullptr, [&ext = ext_, contenedor = contenedor_, observador](std::stop_token parar) {
        std::vector<Ficha> fichas;
        try {
          fichas = listar(ext, contenedor, parar);
        } catch (...) {
          observador->finishEnumeratingWithError(errorDeSistema(std::current_exception()));
          return;
        }
        enTandas(fichas, [&](auto lista) { observador->didEnumerateItems(std::move(lista)); });
        observador->finishEnumeratingUpToPage(std::nullopt);
      });
}

void Enumerador::enumerateChanges(std::shared_ptr<fp::ChangeObserver> observador,
                                  fp::SyncAnchor desde) {
  ext_.tareas().lanzar(
      nullptr, [&ext = ext_, contenedor = contenedor_, observador, desde](std::stop_token parar) {
        if (contenedor != fp::workingSet) {
          observador->finishEnumeratingChangesUpToSyncAnchor(desde, false);
          return;
        }
        informarCambios(ext, *observador, parar);
      });
}

void Enumerador::currentSyncAnchor(std::function<void(std::optional<fp::SyncAnchor>)> completar) {
  ext_.tareas().lanzar(
      nullptr, [&ext = ext_, completar](std::stop_token) { completar(ext.indice().ancla()); });
}

}  // namespace vemlo::finder
