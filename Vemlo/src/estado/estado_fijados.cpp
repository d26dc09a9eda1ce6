// Estado's part for the items kept on this device: which ones the company's Vemlo folder
// keeps, read from vemlo-finder's status, and keeping one or letting it go.
#include <stdexcept>

#include "estado.h"
#include "fijados.h"
#include "textos.h"

namespace vemlo::app {

bool Estado::fijado(const std::string& id, bool esCarpeta) const {
  return fijados_.contains(idEnCarpeta(id, esCarpeta));
}

void Estado::fijar(const std::string& id, bool esCarpeta, bool fijado) {
  if (!empresa_) return;
  enSesion([empresa = empresa_->id, item = idEnCarpeta(id, esCarpeta),
            fijado] { fijarEnEquipo(empresa, item, fijado); },
           [this](Resultado<Hecho> r) {
             if (r.fallo)
               ponerAviso(texto("The Vemlo folder couldn't keep this on this device: ",
                                "La carpeta Vemlo no pudo mantener esto en este equipo: ") +
                          descripcionDelSistema(r.fallo));
             leerFijados();
           });
}

void Estado::leerFijados() {
  if (!empresa_) return;
  enSesion([empresa = empresa_->id] { return fijadosDe(empresa); },
           [this](Resultado<std::set<std::string>> r) {
             auto fijados = r.valor.value_or(std::set<std::string>{});
             if (fijados == fijados_) return;
             fijados_ = std::move(fijados);
             emit fijadosCambio();
           });
}

}  // namespace vemlo::app
