#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "Fallible.h"

namespace wrenly::speech {

// The service's own folder: the --data-dir option, else $XDG_DATA_HOME/wrenly-speech-service,
// else ~/.local/share/wrenly-speech-service. Created private to the user (0700).
std::filesystem::path defaultDataFolder();
Fallible<std::filesystem::path> prepareDataFolder(std::optional<std::filesystem::path> option);

// Replaces `file` with `content`, readable and writable by the user only (0600), never visible
// half-written.
bool writePrivateFile(const std::filesystem::path& file, std::string_view content);

}  // namespace wrenly::speech
