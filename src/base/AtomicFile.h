#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace wrenly {

// Replaces `file` with `text` so that a reader sees the old or the new text and never a part:
// a temporary file beside it (mode 0600), flushed to disk, renamed over it. Creates the folder.
// Returns the error's description, empty on success.
std::string writeFileAtomically(const std::filesystem::path& file, std::string_view text);

}  // namespace wrenly
