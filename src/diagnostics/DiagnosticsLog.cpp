#include "diagnostics/DiagnosticsLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unicode/brkiter.h>
#include <unicode/utext.h>
#include <unistd.h>

#include <boost/asio/post.hpp>
#include <cerrno>
#include <ctime>
#include <future>

namespace wrenly {

namespace fs = std::filesystem;

DiagnosticsLog::DiagnosticsLog(fs::path directory, WallClock wallClock)
    : directory_(std::move(directory)), wallClock_(std::move(wallClock)) {
  if (!wallClock_) wallClock_ = [] { return std::chrono::system_clock::now(); };
}

DiagnosticsLog::~DiagnosticsLog() {
  worker_.join();
}

void DiagnosticsLog::record(std::string_view line) {
  try {
    // The stamp is taken now so lines carry the time they describe, not the time of writing.
    std::string stamped = formatStamp(wallClock_());
    boost::asio::post(worker_, [this, stamped = std::move(stamped), text = std::string(line)] {
      try {
        write(stamped + " " + cutToCharacters(text, maximumCharacters) + "\n");
      } catch (...) {
        // Logging never fails the program; the line is dropped.
      }
    });
  } catch (...) {
  }
}

void DiagnosticsLog::flush() {
  std::promise<void> done;
  auto future = done.get_future();
  boost::asio::post(worker_, [&done] { done.set_value(); });
  future.wait();
}

std::string DiagnosticsLog::formatStamp(std::chrono::system_clock::time_point time) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char buffer[32];
  size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return std::string(buffer, n);
}

std::string DiagnosticsLog::cutToCharacters(std::string_view text, size_t count) {
  std::string result;
  UErrorCode status = U_ZERO_ERROR;
  UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  std::unique_ptr<icu::BreakIterator> breaks(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  size_t end = text.size();
  if (U_SUCCESS(status)) {
    breaks->setText(utext, status);
    size_t seen = 0;
    for (int32_t b = breaks->next(); b != icu::BreakIterator::DONE; b = breaks->next()) {
      if (++seen == count) {
        end = static_cast<size_t>(b);
        break;
      }
    }
  }
  utext_close(utext);
  result.assign(text.substr(0, end));
  // One record is one line: embedded line breaks would forge or split entries.
  for (char& c : result) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return result;
}

void DiagnosticsLog::write(const std::string& line) {
  std::error_code ec;
  fs::create_directories(directory_, ec);
  if (ec || !fs::is_directory(directory_, ec)) return;

  const fs::path current = directory_ / currentName;
  const fs::path previous = directory_ / previousName;
  auto size = fs::file_size(current, ec);
  if (!ec && size > rotationThreshold) {
    fs::remove(previous, ec);
    fs::rename(current, previous, ec);
    if (ec) return;
  }

  int fd = ::open(current.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  ::close(fd);
}

}  // namespace wrenly
