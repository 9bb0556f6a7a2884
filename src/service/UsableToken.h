#pragma once

#include <optional>
#include <string>

namespace wrenly {

// The stored token as the client may send it, on the HTTPS calls and on the stream alike: none
// when there is none, when it is empty or when it holds a control character (which could end
// its header line early). Such a token counts as no sign-in, never as a malformed request.
std::optional<std::string> usableToken(std::optional<std::string> token);

}  // namespace wrenly
