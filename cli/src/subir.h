// Uploading local files and folders into a company folder, as the app does: a folder becomes
// a folder of the same name, merged into one that already exists there; hidden entries
// (names starting with ".") inside folders are skipped; every entry that fails is reported
// on stderr and the rest go on. Files travel one after another through the core's upload
// engine; Ctrl-C stops the one in flight without confirming it.
#pragma once

#include <filesystem>
#include <stop_token>
#include <vector>

#include "vemlo/cliente.h"

namespace vemlo::cli {

struct ResultadoSubida {
  int subidos = 0;   // files that arrived
  int fallidos = 0;  // entries that did not (files, folders and what they held)
};

// Uploads `locales` (each an existing file or folder) into `destino`. Fails with
// ErrorVemlo `cancelado` when `parar` is requested; other failures are counted and reported.
ResultadoSubida subirTodo(const Vemlo& api, const std::vector<std::filesystem::path>& locales,
                          const VistaCarpeta& destino, std::stop_token parar);

// The name a local file or folder takes on the service: its last path component, also
// for "dir/" and "." (ErrorUso for "/").
std::string nombreLocal(const std::filesystem::path& local);

}  // namespace vemlo::cli
