#pragma once

#include <optional>
#include <string>

namespace wrenly {

// Whether a keyring serves the Secret Service on the session bus, or can be started there: none
// when one can, else why not. For start-up, before the first credential is read.
std::optional<std::string> secretServiceProblem();

}  // namespace wrenly
