#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace wrenly {

// A program the test starts, talked to line by line over its stdin and stdout; killed (and
// reaped) with the object.
class ChildProcess {
 public:
  explicit ChildProcess(std::vector<std::string> argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Sends one line (when given) and returns the next line of output ("" at its end).
  std::string exchange(const std::string& line);
  std::string readLine();

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string pending_;
};

}  // namespace wrenly
