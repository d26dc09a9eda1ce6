// Status words and reasons in the user's language.
#include "finder/situacion.h"

#include <string_view>

#include "vemlo/mensajes.h"

namespace vemlo::finder {
namespace {

using nlohmann::json;

std::string tr(std::string_view ingles, std::string_view espanol) {
  return std::string(enEspanol() ? espanol : ingles);
}

std::string textoDe(const json& objeto, const char* clave) {
  const auto pos = objeto.find(clave);
  return pos != objeto.end() && pos->is_string() ? pos->get<std::string>() : "";
}

}  // namespace

std::string motivoLegible(const json& entrada) {
  const auto codigo = textoDe(entrada, "motivo");
  return codigo.empty() ? "" : mensaje(codigo, enEspanol());
}

std::string situacionLegible(const json& entrada) {
  if (entrada.value("montado", false) && entrada.value("sobreLimite", false))
    return tr("mounted; over 100,000 items, so changes below the folders past them are not seen",
              "montada; pasa de 100.000 elementos, así que no se ven los cambios bajo las "
              "carpetas que quedan más allá");
  if (entrada.value("montado", false) && entrada.value("sinRed", false))
    return tr("mounted, offline: what was known is shown and what is saved goes up later",
              "montada, sin red: se ve lo que se conocía y lo que se guarde se sube después");
  if (entrada.value("montado", false)) return tr("mounted", "montada");
  if (!entrada.value("enabled", false)) return tr("off", "apagada");
  const auto motivo = motivoLegible(entrada);
  if (motivo.empty()) return tr("not mounted yet", "todavía sin montar");
  return tr("not mounted: ", "sin montar: ") + motivo;
}

std::vector<std::string> fallosLegibles(const json& dominios) {
  std::vector<std::string> lineas;
  for (const auto& entrada : dominios) {
    const auto pos = entrada.find("pendientes");
    if (pos == entrada.end() || !pos->is_array()) continue;
    for (const auto& p : *pos) {
      const auto codigo = textoDe(p, "ultimoFallo");
      if (codigo.empty()) continue;
      const auto espera = p.value("detenida", false)
                              ? tr("not retried until it is saved again",
                                   "no se reintenta hasta que se guarde de nuevo")
                              : tr("will try again", "se reintentará");
      lineas.push_back(textoDe(p, "nombre") + ": " + mensaje(codigo, enEspanol()) + " (" + espera +
                       ")");
    }
  }
  return lineas;
}

}  // namespace vemlo::finder
