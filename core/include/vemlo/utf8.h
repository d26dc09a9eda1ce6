// UTF-8 validity of bytes that come from outside: stored files, names, answers.
#pragma once

#include <string_view>

namespace vemlo {

// True when `bytes` are well-formed UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool esUtf8(std::string_view bytes);

}  // namespace vemlo
