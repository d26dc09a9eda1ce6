// The size limit of the Vemlo folder's content cache, a setting of the user kept in
// $XDG_CONFIG_HOME/vemlo/cache.json as {"limite": bytes}, beside the domain registry (the
// host watches that folder and applies a new limit at once). It applies to each company's
// cache on its own; files kept on this device and open files stay even past it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vemlo::finder {

inline constexpr std::uint64_t limiteCachePorOmision = 8ull << 30;

// $XDG_CONFIG_HOME/vemlo/cache.json (else ~/.config/vemlo/cache.json).
std::filesystem::path archivoDeLimiteCache();

// The stored limit; limiteCachePorOmision when the file is missing or not a valid setting.
std::uint64_t limiteCache();

// Stores the limit (at least one byte), replacing the file atomically; fails with
// std::invalid_argument for zero and std::system_error when it cannot be written.
void guardarLimiteCache(std::uint64_t bytes);

// A size as people write it: "500M", "2GB", "1.5GiB", "800 MB", "4096" (bytes). K, M, G and
// T (with or without B) are powers of 1000, KiB to TiB of 1024; none when the text is not a
// size or is zero.
std::optional<std::uint64_t> leerTamano(const std::string& texto);

}  // namespace vemlo::finder
