#include "server/ServiceLog.h"

namespace wrenly::speech {

void ServiceLog::line(std::string_view text) {
  std::lock_guard lock(mutex_);
  out_ << text << '\n' << std::flush;
}

}  // namespace wrenly::speech
