// The one exit for the extension's failures: whatever a request or an enumeration hands to
// the system goes through errorDeSistema first.
#pragma once

#include <exception>

namespace vemlo::finder {

// A service failure (ErrorVemlo) becomes the file-provider or Cocoa error the system
// understands, with the ErrorVemlo nested in it (std::rethrow_if_nested finds it); any other
// failure, the extension's own file-provider errors among them, is returned unchanged.
std::exception_ptr errorDeSistema(std::exception_ptr fallo);

}  // namespace vemlo::finder
