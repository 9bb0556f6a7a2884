#pragma once

#include <mutex>
#include <ostream>
#include <string_view>

namespace wrenly::speech {

// The service's log: one short line per event, made of names, paths, status codes, error codes
// and milliseconds only. Callers never pass a transcript, text, token or sign-in state.
class ServiceLog {
 public:
  explicit ServiceLog(std::ostream& out) : out_(out) {}
  void line(std::string_view text);

 private:
  std::ostream& out_;
  std::mutex mutex_;
};

}  // namespace wrenly::speech
