#pragma once

#include <string>
#include <vector>

namespace wrenly {

// The lines this process writes to the diagnostics log from construction on, without their time
// stamps. The first one made in a process points the log at a scratch folder, so tests never
// write into the user's own log; make it before anything writes to the log.
class RecordedDiagnostics {
 public:
  RecordedDiagnostics();
  // Waits for the log to be written, then reads it.
  std::vector<std::string> lines() const;

 private:
  size_t skipped_ = 0;
};

}  // namespace wrenly
