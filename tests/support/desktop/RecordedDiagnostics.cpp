#include "support/desktop/RecordedDiagnostics.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "diagnostics/Diagnostics.h"
#include "support/TemporaryDirectory.h"

namespace wrenly {

namespace {

std::vector<std::string> readAll() {
  Diagnostics::flush();
  std::vector<std::string> lines;
  std::ifstream in(Diagnostics::directory() / "timing.log");
  for (std::string line; std::getline(in, line);) {
    const auto space = line.find(' ');
    lines.push_back(space == std::string::npos ? line : line.substr(space + 1));
  }
  return lines;
}

void useScratchFolder() {
  static TemporaryDirectory scratch;
  ::setenv("XDG_STATE_HOME", scratch.path().c_str(), 1);  // read once, at the log's first use
  const auto directory = Diagnostics::directory().string();
  if (directory.rfind(scratch.path().string(), 0) != 0) {
    throw std::logic_error("the diagnostics log was used before RecordedDiagnostics");
  }
}

}  // namespace

RecordedDiagnostics::RecordedDiagnostics() {
  useScratchFolder();
  skipped_ = readAll().size();
}

std::vector<std::string> RecordedDiagnostics::lines() const {
  auto lines = readAll();
  if (lines.size() < skipped_) return lines;  // the log was rotated meanwhile
  return {lines.begin() + static_cast<std::ptrdiff_t>(skipped_), lines.end()};
}

}  // namespace wrenly
