#pragma once

#include <string>
#include <string_view>

namespace wrenly {

// The privacy page of the service the program talks to: https://HOST[:PORT]/privacy/ for the
// service base URL `serviceBaseURL` (http:// for the local service on a loopback address), or of
// the built-in service when that is not a valid one.
std::string privacyPageURL(std::string_view serviceBaseURL);

}  // namespace wrenly
