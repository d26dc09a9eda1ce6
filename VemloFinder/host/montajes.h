// The mounts at a domain's folder: how many of ours the kernel lists there, read from
// /proc/self/mountinfo, clearing those that a host which died left behind, so that a new host
// mounts exactly once, and the read-ahead of a new mount. Nothing here goes through a shell:
// the folder's name comes from the company's name.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vemlo::finder::host {

// How many FUSE mounts of this host's kind (type "fuse.vemlo") owned by `usuario` stand at
// `punto` in a mountinfo text.
std::size_t montajesEn(std::string_view mountinfo, const std::filesystem::path& punto,
                       uid_t usuario);

// The device ("major:minor") of the topmost mount of ours at `punto`, as montajesEn finds them.
std::optional<std::string> dispositivoDe(std::string_view mountinfo,
                                         const std::filesystem::path& punto, uid_t usuario);

// Sets the read-ahead of our mount at `punto` to `kib` KiB (its backing device's
// read_ahead_kb, which the kernel otherwise keeps at 128 KiB for FUSE), so that sequential
// readers get requests as large as the mount's max_read. Reads only mountinfo, never the
// mount itself, so it may run before the mount serves. False where the user may not.
bool ampliarLecturaAnticipada(const std::filesystem::path& punto, unsigned kib);

// Detaches the mount at `punto` (umount2 with MNT_DETACH, or fusermount3 -u -z for a user
// without the right); true when one of the two succeeded.
bool desprender(const std::filesystem::path& punto);

// Detaches every mount of ours at `punto` (the host that made it is gone: only one host runs
// per user), then makes sure the folder exists. Fails with std::runtime_error when a mount
// stays.
void despejarPunto(const std::filesystem::path& punto);

}  // namespace vemlo::finder::host
