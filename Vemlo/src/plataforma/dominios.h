// The Vemlo folder as the app sees it: one domain per company in the registry, and the
// vemlo-finder host that mounts them, asked and started through the control library. Every
// call blocks (files, a socket, a fork): workers only.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "vemlo/registros.h"

namespace vemlo::app {

// Makes the registry hold exactly the account's companies, in order, named "Vemlo" when there
// is one and after each company otherwise; then starts `anfitrion` (else the vemlo-finder found
// beside the app or in PATH) when no host runs and there is something to mount. Removals that
// fail are ignored; the first failed addition, or a host that cannot be started, throws.
void registrarDominios(const std::vector<Organizacion>& empresas,
                       const std::optional<std::filesystem::path>& anfitrion);

// Every domain removed; failures are ignored.
void quitarTodosLosDominios();

// True when the user switched off at least one registered domain.
bool algunoApagado();

// Asks the host to look for changes in every registered domain; failures are ignored.
void senalarDominios();

// Where the company's folder is mounted, when the host says it is.
std::optional<std::filesystem::path> montajeDe(const std::string& identifier);

}  // namespace vemlo::app
