// The one mapping from the extension's failures to what the kernel understands.
#pragma once

#include <exception>

namespace vemlo::finder::host {

// File-provider and Cocoa errors by the host's table; a file system error by its own errno;
// anything else EIO.
int errnoDe(std::exception_ptr fallo);

}  // namespace vemlo::finder::host
