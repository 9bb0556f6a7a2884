#pragma once

#include <cstdint>
#include <fstream>
#include <string>

namespace wrenly {

// A process that exists and has not exited (a zombie has exited), read from /proc.
inline bool processIsRunning(int32_t processID) {
  if (processID <= 0) return false;
  std::ifstream stat("/proc/" + std::to_string(processID) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  auto close = line.rfind(')');
  return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z' &&
         line[close + 2] != 'X';
}

}  // namespace wrenly
