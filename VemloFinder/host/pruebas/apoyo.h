// What the tests of the Vemlo folder share, whichever program mounts it (vemlo-finder directly,
// or vemlo-cli starting it): shell commands run in a folder, waiting for a condition, whole
// files, and whether a folder is mounted.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace vemlo::pruebas {

struct Salida {
  int estado = -1;    // the shell's exit status
  std::string texto;  // stdout and stderr together
};

// Runs `orden` with /bin/sh in `carpeta`, which is the child's working folder and never part
// of the command (a company's name is in it).
Salida sh(const std::string& orden, const std::filesystem::path& carpeta);

// True once `condicion` holds, checked every 100 ms for at most `plazo`.
bool esperar(const std::function<bool()>& condicion,
             std::chrono::milliseconds plazo = std::chrono::seconds(30));

// The whole file at `ruta` ("" when it cannot be read).
std::string leer(const std::filesystem::path& ruta);

// True when a Vemlo folder (a "fuse.vemlo" mount) stands at `punto`.
bool montado(const std::filesystem::path& punto);

}  // namespace vemlo::pruebas
