// Where an absolute path falls in the Vemlo folders: the names under a mount point that lead
// to it. Only plain paths count, as realpath gives them; a path with ".", "..", an empty name
// or NUL is refused rather than resolved, so that no spelling can lead out of a mount.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arbol.h"

namespace vemlo::finder::host {

// The names from `punto` down to `ruta` (none for the mount point itself), or nothing when
// `ruta` is not an absolute plain path at or under `punto`. One trailing "/" is allowed.
std::optional<std::vector<std::string>> nombresBajo(const std::filesystem::path& punto,
                                                    std::string_view ruta);

// The node reached from the root by `nombres`, one folder at a time, among the items present;
// nothing when a name is unknown or a name before the last is not a folder.
std::optional<Nodo> nodoPorNombres(const Arbol& arbol, const std::vector<std::string>& nombres);

}  // namespace vemlo::finder::host
