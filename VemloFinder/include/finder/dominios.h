// The registry of the Vemlo folder's domains, one per company: what the app registers and
// the user switches on or off, and what the vemlo-finder host mounts. It lives in
// $XDG_CONFIG_HOME/vemlo/dominios.json, an array of {"identifier", "displayName", "enabled"},
// read and written whole under an advisory lock, and replaced atomically.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vemlo::finder {

struct DominioRegistrado {
  std::string identifier;   // the company id
  std::string displayName;  // the company name
  bool enabled = true;      // switched on by the user
  bool operator==(const DominioRegistrado&) const = default;
};

// $XDG_CONFIG_HOME/vemlo/dominios.json (else ~/.config/vemlo/dominios.json).
std::filesystem::path archivoDeDominios();

// The registered domains in registration order; none when the file is missing, unreadable or
// not a JSON array. Elements that are not well-typed domains are skipped.
std::vector<DominioRegistrado> getDomains();

// The changes below each rewrite the file under the exclusive lock, making the folder (0700)
// when it is missing; a file that is not a JSON array counts as empty and is replaced. They
// write nothing when the list does not change, and throw std::system_error (a
// std::filesystem::filesystem_error) carrying the errno when the file cannot be written.

// Adds the domain, or updates the display name of the one with its identifier (keeping the
// user's enabled flag).
void addDomain(const DominioRegistrado& dominio);
void removeDomain(const std::string& identifier);
// Every registered domain removed.
void removeAllDomains();
// The user's switch; unknown identifiers are ignored.
void setUserEnabled(const std::string& identifier, bool enabled);

// Where the domain appears: $VEMLO_CARPETAS when absolute (else $HOME) + "/Vemlo" for the
// display name "Vemlo", else "/Vemlo-" + the display name with "/" and NUL replaced by "-"; a
// domain without a display name uses its identifier in its place.
std::filesystem::path puntoDeMontaje(const DominioRegistrado& dominio);

}  // namespace vemlo::finder
