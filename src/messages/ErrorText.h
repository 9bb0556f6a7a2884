#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace wrenly {

struct DesktopError;

// The text the interface shows for any error: our own errors by their identity, a cancellation
// notice, and for a platform error what failed, in the interface's language, followed by the
// platform's own text. `whatFailed` names the step that failed when the caller knows it better
// than the error's category does (a refused microphone reads as a plain system error).
// `localService` names signing in as the local speech service does it, on its own page.
std::string describe(const std::exception& error, std::string_view whatFailed = {},
                     bool localService = false);
std::string describe(const std::exception_ptr& error, std::string_view whatFailed = {},
                     bool localService = false);

// Why the program cannot start on this desktop.
const char* describe(const DesktopError& error);

}  // namespace wrenly
