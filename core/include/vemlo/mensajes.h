// What the user reads: the language rule, the bilingual message table and date display.
#pragma once

#include <string>
#include <string_view>

namespace vemlo {

// True when the user's first preferred language is a Spanish one ($LANGUAGE's first entry,
// else $LC_ALL, $LC_MESSAGES, $LANG; "C", "POSIX" and nothing count as English).
// Evaluated on every call.
bool enEspanol();

// The sentence for an error code; codes outside the table give the default sentence.
std::string mensaje(std::string_view codigo, bool espanol);

// A service date for display: medium date and short time, "es" or "en_US", local time zone.
// A text that is not a date gives the empty text.
std::string fechaLegible(std::string_view texto);

}  // namespace vemlo
