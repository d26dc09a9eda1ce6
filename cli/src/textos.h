// The words vemlo-cli shows: every sentence exists in English and Spanish and the language
// rule of the core (`enEspanol`) picks one; sizes, roles and kinds read the same way.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vemlo::cli {

// The English or the Spanish text, as the user's language asks.
std::string tr(std::string_view ingles, std::string_view espanol);

// `plantilla` with each "{}" replaced, in order, by the next of `valores`.
std::string rellenar(std::string_view plantilla, std::initializer_list<std::string_view> valores);

// Both languages at once, then filled: tr(en, es) followed by rellenar.
std::string trf(std::string_view ingles, std::string_view espanol,
                std::initializer_list<std::string_view> valores);

// "1.5 MB" / "1,5 MB" (decimal units, one decimal from kB up).
std::string tamanoLegible(std::int64_t bytes);

// A company role as the user reads it ("lector" is "viewer" in English).
std::string rolLegible(std::string_view rol);

// "folder" / "file" for a wire kind ("carpeta" is a folder, any other word a file).
std::string claseLegible(std::string_view tipo);

// A name between the language's quotation marks: “x” or «x».
std::string citar(std::string_view nombre);

}  // namespace vemlo::cli
