// One picked item sent to the service, on the calling (worker) thread: a file through the
// upload engine, a folder as a folder of the same name (merged into one that exists) with its
// entries one at a time, depth first. Hidden entries are skipped, and a folder that is already
// being walked (a link back up the tree) is not entered again.
#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

#include "vemlo/cliente.h"

namespace vemlo::app {

// Uploads `ruta` into `carpetaId`. `avanzar` gets a file's fraction per part, or a folder's
// share of finished direct entries. Fails with ErrorVemlo, or std::filesystem_error for what
// cannot be read here; the first failure inside a folder stops it.
void enviar(const Vemlo& api, const std::filesystem::path& ruta, const std::string& carpetaId,
            const std::function<void(double)>& avanzar, std::stop_token parar);

}  // namespace vemlo::app
