// Starting vemlo-finder, the host of the Vemlo folder, from another program (vemlo-cli, the
// app): found beside the running binary (or in the build tree, or in PATH), then started
// through the user's systemd when its unit runs that same program, else detached, so that
// either way it outlives the program and holds none of its terminal, pipes or folder.
#pragma once

#include <filesystem>
#include <optional>

namespace vemlo::finder {

// vemlo-finder in this program's folder, else at ../VemloFinder/host/ from it (the build
// tree), else in an absolute folder of PATH; none when there is none to run.
std::optional<std::filesystem::path> buscarAnfitrion();

// Runs `programa` with no arguments, detached: double fork, a session of its own, stdin,
// stdout and stderr on /dev/null, "/" as its folder, no signal blocked and no parent left to
// wait for it. The environment is this process's. Fails with std::system_error when it could
// not be run.
void arrancarDesligado(const std::filesystem::path& programa);

enum class Arranque { unidad, desligado };

// Starts `programa` as the host: `systemctl --user start vemlo-finder.service` when the
// user's systemd has that unit and it runs `programa`, else arrancarDesligado. Never through
// the unit when VEMLO_SERVICIO is set: the unit's environment is the user manager's, so its
// host would talk to another service than the caller's. Fails as arrancarDesligado does.
Arranque arrancarAnfitrion(const std::filesystem::path& programa);

}  // namespace vemlo::finder
