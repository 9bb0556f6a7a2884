#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "StartupError.h"

namespace wrenly::speech {

// The service's own folder: the --data-dir option, else $XDG_DATA_HOME/wrenly-speech-service,
// else ~/.local/share/wrenly-speech-service. Created private to the user (0700).
std::filesystem::path defaultDataFolder();
Expected<std::filesystem::path, StartupError> prepareDataFolder(
    std::optional<std::filesystem::path> option);

// Replaces `file` with `content`, readable and writable by the user only (0600), never visible
// half-written.
bool writePrivateFile(const std::filesystem::path& file, std::string_view content);

}  // namespace wrenly::speech
