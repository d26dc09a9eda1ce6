// The mounts at a domain's folder: how many of ours the kernel lists there, read from
// /proc/self/mountinfo, and clearing those that a host which died left behind, so that a
// new host mounts exactly once. Nothing here goes through a shell: the folder's name comes
// from the company's name.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace vemlo::finder::host {

// How many FUSE mounts of this host's kind (type "fuse.vemlo") owned by `usuario` stand at
// `punto` in a mountinfo text.
std::size_t montajesEn(std::string_view mountinfo, const std::filesystem::path& punto,
                       uid_t usuario);

// Detaches the mount at `punto` (umount2 with MNT_DETACH, or fusermount3 -u -z for a user
// without the right); true when one of the two succeeded.
bool desprender(const std::filesystem::path& punto);

// Detaches every mount of ours at `punto` (the host that made it is gone: only one host runs
// per user), then makes sure the folder exists. Fails with std::runtime_error when a mount
// stays.
void despejarPunto(const std::filesystem::path& punto);

}  // namespace vemlo::finder::host
