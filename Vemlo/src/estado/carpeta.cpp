// Loading a folder for the Files section.
#include "carpeta.h"

#include <unordered_set>

#include "estado.h"
#include "vemlo/error.h"

namespace vemlo::app {
namespace {

bool noExiste(std::exception_ptr fallo) {
  try {
    std::rethrow_exception(fallo);
  } catch (const ErrorVemlo& e) {
    return e.caso() == ErrorVemlo::Caso::api && e.codigo() == "noExiste";
  } catch (...) {
    return false;
  }
}

}  // namespace

Carpeta::Carpeta(Estado& estado, QObject* padre)
    : QObject(padre), estado_(estado), modelo_(estado) {
  connect(&estado_, &Estado::cambiosCambio, this, &Carpeta::recargar);
  connect(&estado_, &Estado::empresaCambio, this, [this] { abrir(std::nullopt); });
}

bool Carpeta::editable() const {
  if (vista_) return vista_->rol != "lector";
  const auto& empresa = estado_.empresa();
  return empresa && empresa->rol != "lector";
}

void Carpeta::abrir(std::optional<std::string> carpetaId) {
  if (carpetaId != carpetaId_) {
    carpetaId_ = std::move(carpetaId);
    emit carpetaIdCambio();
  }
  recargar();
}

void Carpeta::recargar() {
  const auto api = estado_.api();
  const auto& empresa = estado_.empresa();
  if (!api || !empresa) return;
  estado_.llamar(
      this,
      [api, id = carpetaId_.value_or(empresa->carpetaRaizId), org = empresa->id,
       parar = estado_.parada()] {
        return Carga{api->verCarpeta(id, parar), api->listarFavoritos(org, parar)};
      },
      [this, pedido = ++pedido_](Resultado<Carga> carga) {
        if (pedido == pedido_) aplicar(std::move(carga));
      });
}

void Carpeta::aplicar(Resultado<Carga> carga) {
  if (carga.fallo && carpetaId_ && noExiste(carga.fallo)) return abrir(std::nullopt);
  if (carga.fallo) return estado_.mostrar(carga.fallo);
  std::unordered_set<std::string> favoritos;
  for (const auto& f : carga.valor->favoritos) favoritos.insert(f.id);
  modelo_.poner(itemsDe(carga.valor->vista), std::move(favoritos));
  vista_ = std::move(carga.valor->vista);
  emit vistaCambio();
}

}  // namespace vemlo::app
