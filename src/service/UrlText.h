#pragma once

#include <string_view>

namespace wrenly {

// Whether `text` may be handed to the URL parser as a URL with a host: printable ASCII only
// (anything else must be percent-encoded on the wire) and "scheme://" at the start. Every URL
// this program reads (the service's base URL, the sign-in page, the sign-in callback) has that
// form. Checking first also keeps Boost.URL 1.81 away from inputs such as "x:?" or "x:[" on
// which it asserts (in builds with assertions) instead of answering.
inline bool isUrlText(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  const auto colon = text.find(':');
  return colon != std::string_view::npos && colon > 0 && text.substr(colon + 1).starts_with("//");
}

}  // namespace wrenly
