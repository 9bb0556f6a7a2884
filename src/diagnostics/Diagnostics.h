#pragma once

#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

namespace wrenly {

// The program's diagnostics log: step timings and error codes, never speech content.
// Lines go to "timing.log" in `directory()`, which is $XDG_STATE_HOME/Wrenly/Diagnostics
// (~/.local/state/Wrenly/Diagnostics when unset), fixed at first use.
namespace Diagnostics {

// Returns at once; the line is written later on the "Wrenly.diagnostics" queue, in order.
void record(std::string_view line);

// The short code of an error for a log line: a service error's own code, "code=" and the case
// number for the program's other errors, "code=" and the platform's code otherwise.
std::string errorCode(const std::exception& error);
std::string errorCode(const std::exception_ptr& error);

std::filesystem::path directory();

// Waits until everything recorded so far is on disk (tests, shutdown).
void flush();

}  // namespace Diagnostics

}  // namespace wrenly
