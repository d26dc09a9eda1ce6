// The one mapping from the extension's failures to what the kernel understands, and the test
// of a failure for one file-provider error.
#pragma once

#include <exception>

#include "finder/proveedor.h"

namespace vemlo::finder::host {

// File-provider and Cocoa errors by the host's table; a file system error by its own errno;
// anything else EIO.
int errnoDe(std::exception_ptr fallo);

// True when `fallo` is the extension's error `codigo`.
bool esErrorDeProveedor(std::exception_ptr fallo, fp::FileProviderCode codigo);

}  // namespace vemlo::finder::host
