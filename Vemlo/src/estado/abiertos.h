// Files fetched to be previewed or opened: $XDG_CACHE_HOME/vemlo/Abiertos/<id>/<name>, beside
// a ".version" marker with the item's date when it was fetched. Ids and names come from the
// service, so each must be one plain path component: nothing it names leaves Abiertos/, and a
// link planted there is replaced, never followed. Blocking: workers only.
#pragma once

#include <filesystem>
#include <stop_token>
#include <string>

#include "vemlo/cliente.h"
#include "vemlo/registros.h"

namespace vemlo::app {

std::filesystem::path carpetaDeAbiertos();

// The local copy of `archivo`, fetched unless the copy there has the item's date. Fails with
// ErrorVemlo (`formato` for an id or a name that is not a plain component) or
// std::filesystem::filesystem_error.
std::filesystem::path copiaLocal(const Vemlo& api, const ArchivoRemoto& archivo,
                                 std::stop_token parar);

// The file's bytes into `destino`, which takes its name only once complete. A download
// refused with a status from 300 is `api` "noExiste".
void bajar(const Vemlo& api, const std::string& id, const std::filesystem::path& destino,
           std::stop_token parar);

}  // namespace vemlo::app
