// `share --copy`: the share link of an item given by its path inside a Vemlo folder (as a file
// manager passes it), printed and put on the clipboard.
#pragma once

#include <string>

#include "contexto.h"

namespace vemlo::cli {

// Resolves `ruta` through vemlo-finder to its company item, makes a link valid for `dias`
// days, prints it and copies it. Gives the exit status: "fallo" when no clipboard took the
// link (it is printed all the same).
int copiarEnlace(const std::string& ruta, int dias, Contexto& contexto);

}  // namespace vemlo::cli
