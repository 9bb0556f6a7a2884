#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wrenly {

// Replaces `file` with `text` so that a reader sees the old or the new text and never a part:
// a temporary file beside it (mode 0600), flushed to disk, renamed over it. Creates the folder.
// Returns the error's description, empty on success.
std::string writeFileAtomically(const std::filesystem::path& file, std::string_view text);

// The whole of `file`, or nothing when it cannot be opened (as before its first save).
std::optional<std::string> readWholeFile(const std::filesystem::path& file);

// Moves an unreadable `file` aside as `<file>.broken-<seconds since 1970>`, kept for the user
// instead of being saved over; the new name, or nothing when the file had to stay in place.
std::optional<std::filesystem::path> moveAside(const std::filesystem::path& file);

}  // namespace wrenly
