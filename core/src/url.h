// URLs as the client builds them: references resolved against the base, and absolute
// addresses handed out by the service.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vemlo {

// `referencia` (already escaped; a path, or an absolute URL) resolved against `base`; nothing
// when either does not parse or the reference holds blanks or control characters.
std::optional<std::string> resolverUrl(const std::string& base, std::string_view referencia);

// `texto` when it is an absolute http(s) URL, in its normal form; else nothing.
std::optional<std::string> urlAbsoluta(std::string_view texto);

// A query value percent-encoded: Unicode letters, marks and digits stay; every other byte of
// its UTF-8 (and every byte of a sequence that is not UTF-8) becomes "%XX".
std::string codificarConsulta(std::string_view valor);

}  // namespace vemlo
