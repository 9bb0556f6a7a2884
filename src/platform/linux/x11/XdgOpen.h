#pragma once

#include <string>

namespace wrenly {

// Hands `url` to xdg-open as its only argument (no shell sees it) and returns without waiting
// for the handler. False when the URL could be taken for an option or xdg-open cannot start.
bool openWithXdgOpen(const std::string& url);

}  // namespace wrenly
