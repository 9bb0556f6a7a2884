#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "StartupError.h"

namespace wrenly::speech {

// The service's own folder: the --data-dir option, else $XDG_DATA_HOME/wrenly-speech-service,
// else ~/.local/share/wrenly-speech-service; none without either variable (a shared fallback such
// as /tmp would let another user plant the folder). Created private to the user (0700); a folder
// that is a symbolic link or belongs to someone else is refused.
std::optional<std::filesystem::path> defaultDataFolder();
Expected<std::filesystem::path, StartupError> prepareDataFolder(
    std::optional<std::filesystem::path> option);

// The user's own runtime folder of the service, $XDG_RUNTIME_DIR/wrenly (none without that
// variable): the socket that answers this user alone, and the address of the service's pages.
// Prepared as the data folder is.
std::optional<std::filesystem::path> defaultRuntimeFolder();
Expected<std::filesystem::path, StartupError> prepareRuntimeFolder();
inline constexpr const char* userSocketName = "speech-service.sock";
inline constexpr const char* pagesAddressName = "speech-service.pages";

// Replaces `file` with `content`, readable and writable by the user only (0600), never visible
// half-written. The file is written through a new file of its own: never through a link or a
// file someone left in its place.
bool writePrivateFile(const std::filesystem::path& file, std::string_view content);

}  // namespace wrenly::speech
