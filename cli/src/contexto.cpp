// The session, the account and the choice of company for a command.
#include "contexto.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "fallos.h"
#include "textos.h"
#include "vemlo/sesion.h"

namespace vemlo::cli {
namespace {

bool igualSinMayusculas(std::string_view a, std::string_view b) {
  return std::ranges::equal(
      a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

std::string listaDeEmpresas(const std::vector<Organizacion>& empresas) {
  std::string lista;
  for (const auto& empresa : empresas)
    lista += "\n  " + empresa.nombre + "  (" + empresa.id + ", " + rolLegible(empresa.rol) + ")";
  return lista;
}

// The companies that `pedida` names: the one with that id, else those with that name
// (exactly, else ignoring ASCII case).
std::vector<const Organizacion*> candidatas(const std::vector<Organizacion>& empresas,
                                            const std::string& pedida) {
  std::vector<const Organizacion*> porId, porNombre, parecidas;
  for (const auto& empresa : empresas) {
    if (empresa.id == pedida) porId.push_back(&empresa);
    if (empresa.nombre == pedida) porNombre.push_back(&empresa);
    if (igualSinMayusculas(empresa.nombre, pedida)) parecidas.push_back(&empresa);
  }
  if (!porId.empty()) return porId;
  return porNombre.empty() ? parecidas : porNombre;
}

}  // namespace

const Vemlo& Contexto::api() {
  if (api_) return *api_;
  api_ = SesionGuardada::clienteGuardado();
  if (!api_)
    throw ErrorOrden(tr("You're not signed in. Sign in with: vemlo-cli login",
                        "No has entrado. Entra con: vemlo-cli login"));
  return *api_;
}

const Cuenta& Contexto::cuenta() {
  if (!cuenta_) cuenta_ = api().yo(parar_);
  return *cuenta_;
}

const Organizacion& Contexto::empresa() {
  const auto& empresas = cuenta().organizaciones;
  if (empresas.empty())
    throw ErrorOrden(
        tr("Your account isn't in any company.", "Tu cuenta no está en ninguna empresa."));
  if (empresaPedida.empty()) {
    if (empresas.size() == 1) return empresas.front();
    throw ErrorUso(tr("You're in several companies; choose one with --company NAME|ID:",
                      "Estás en varias empresas; elige una con --company NOMBRE|ID:") +
                   listaDeEmpresas(empresas));
  }
  const auto encontradas = candidatas(empresas, empresaPedida);
  if (encontradas.size() == 1) return *encontradas.front();
  if (encontradas.empty())
    throw ErrorUso(
        trf("You're not in a company called {}. Your companies:",
            "No estás en ninguna empresa llamada {}. Tus empresas:", {citar(empresaPedida)}) +
        listaDeEmpresas(empresas));
  throw ErrorUso(trf("Several companies are called {}; choose one by its id:",
                     "Varias empresas se llaman {}; elige una por su id:", {citar(empresaPedida)}) +
                 listaDeEmpresas(empresas));
}

}  // namespace vemlo::cli
