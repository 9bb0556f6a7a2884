#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace wrenly {

// The user's folder that the XDG variable names when it is an absolute path, else the one under
// the home folder (e.g. ".local/state"); none without either.
inline std::optional<std::filesystem::path> userFolder(const char* variable,
                                                       const char* underHome) {
  if (const char* named = std::getenv(variable); named && *named == '/') return named;
  if (const char* home = std::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / underHome;
  }
  return std::nullopt;
}

}  // namespace wrenly
