// Showing an item of a Vemlo folder in the main window. The host's socket is asked off the
// GUI thread; the path is made plain there first (realpath), as the host only takes plain
// paths.
#include "mostrador.h"

#include <algorithm>
#include <filesystem>
#include <utility>

#include "aplicacion.h"
#include "estado.h"
#include "finder/control.h"
#include "principal.h"
#include "textos.h"
#include "vemlo/mensajes.h"

namespace vemlo::app {
namespace {

namespace fs = std::filesystem;

finder::ItemEnCarpeta itemEn(const std::string& ruta) {
  std::error_code error;
  const auto real = fs::canonical(ruta, error);
  if (error) throw finder::RechazoDelAnfitrion("sinElemento", ruta + ": " + error.message());
  return finder::itemEn(real);
}

QString frase(std::exception_ptr fallo) {
  try {
    std::rethrow_exception(fallo);
  } catch (const finder::SinAnfitrion&) {
    return QString::fromStdString(mensaje("sinAnfitrion", enEspanol()));
  } catch (const finder::RechazoDelAnfitrion& e) {
    return QString::fromStdString(mensaje(e.codigo, enEspanol()));
  } catch (...) {
    return descripcionDelSistema(fallo);
  }
}

}  // namespace

Mostrador::Mostrador(Aplicacion& aplicacion, QObject* padre)
    : QObject(padre), aplicacion_(aplicacion) {
  connect(&aplicacion_.estado(), &Estado::cuentaCambio, this, &Mostrador::intentar);
  connect(&aplicacion_.estado(), &Estado::cargandoCambio, this, &Mostrador::intentar);
}

void Mostrador::mostrar(const QString& ruta) {
  pendiente_ = ruta;
  aplicacion_.mostrarVentana();
  intentar();
}

void Mostrador::intentar() {
  auto& estado = aplicacion_.estado();
  if (!pendiente_ || estado.cargando() || !estado.cuenta()) return;
  const auto ruta = std::exchange(pendiente_, std::nullopt)->toStdString();
  estado.llamar(
      this, [ruta] { return itemEn(ruta); },
      [this](Resultado<finder::ItemEnCarpeta> r) {
        if (r.fallo) return aplicacion_.estado().avisar(frase(r.fallo));
        ir(*r.valor);
      });
}

void Mostrador::ir(const finder::ItemEnCarpeta& item) {
  auto& estado = aplicacion_.estado();
  const auto& empresas = estado.cuenta()->organizaciones;
  const auto empresa = std::ranges::find(empresas, item.identifier, &Organizacion::id);
  if (empresa == empresas.end())
    return estado.avisar(QString::fromStdString(mensaje("sinCarpeta", enEspanol())));
  if (!estado.empresa() || estado.empresa()->id != empresa->id) estado.elegir(*empresa);
  auto* principal = aplicacion_.ventana().findChild<Principal*>();
  if (!principal) return;
  if (item.raiz) {
    principal->abrirCarpeta(std::nullopt);
  } else {
    principal->mostrarItem(item.padre.empty() ? std::nullopt : std::optional(item.padre), item.id);
  }
  aplicacion_.mostrarVentana();
  emit mostrado(QString::fromStdString(item.id));
}

}  // namespace vemlo::app
