// The host's status as a person reads it, in their language: each domain's state and why it is
// not mounted, and each failed upload, with the reasons' sentences from the message table.
// vemlo-cli and vemlo-finder print these; JSON output keeps the codes.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vemlo::finder {

// "mounted" (and whether the company is over the crawl's record limit, or offline), "off",
// "not mounted: <why>" or "not mounted yet", for one entry of "dominios".
std::string situacionLegible(const nlohmann::json& entrada);

// The sentence of the entry's reason; empty when it has none.
std::string motivoLegible(const nlohmann::json& entrada);

// One line per failed upload of every domain: "<name>: <why> (will try again)".
std::vector<std::string> fallosLegibles(const nlohmann::json& dominios);

}  // namespace vemlo::finder
