#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wrenly {

// The privacy page of the service the program talks to: https://HOST[:PORT]/privacy/ for the
// service base URL `serviceBaseURL` (http:// for the local service on a loopback address, at
// the origin of its pages `localPages` when it is reached through its socket), or of the
// built-in service when that is not a valid one.
std::string privacyPageURL(std::string_view serviceBaseURL,
                           const std::optional<std::string>& localPages = std::nullopt);

}  // namespace wrenly
