#pragma once

#include <string>
#include <system_error>

namespace wrenly {

// Error codes of libpulse (PA_ERR_*), with its own messages.
const std::error_category& pulseCategory();

std::system_error pulseError(int code, const std::string& what);

}  // namespace wrenly
