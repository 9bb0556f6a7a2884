#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace wrenly {

// Whether the desktop's sound server answers: none when it does, else the library's reason.
// Blocks for at most `bound`; for start-up, before anything records.
std::optional<std::string> soundServerProblem(std::chrono::milliseconds bound);

}  // namespace wrenly
