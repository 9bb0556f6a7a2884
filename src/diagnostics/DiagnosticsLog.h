#pragma once

#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace wrenly {

// An append-only log of short timing and error-code lines in one directory, rotated into a
// previous generation above a size threshold. All file work happens on the log's own serial
// worker; callers only hand a line over.
class DiagnosticsLog {
 public:
  static constexpr std::uintmax_t rotationThreshold = 128000;
  static constexpr size_t maximumCharacters = 400;
  static constexpr const char* currentName = "timing.log";
  static constexpr const char* previousName = "timing.previous.log";

  using WallClock = std::function<std::chrono::system_clock::time_point()>;

  explicit DiagnosticsLog(std::filesystem::path directory, WallClock wallClock = {});
  ~DiagnosticsLog();  // writes what is queued, then stops the worker

  DiagnosticsLog(const DiagnosticsLog&) = delete;
  DiagnosticsLog& operator=(const DiagnosticsLog&) = delete;

  const std::filesystem::path& directory() const { return directory_; }

  // Returns at once; the line is written later, in call order.
  void record(std::string_view line);

  // Waits until every line recorded before this call has been written or dropped.
  void flush();

  // The first `maximumCharacters` user-perceived characters of `text` (UTF-8 in and out).
  static std::string cutToCharacters(std::string_view text, size_t count);
  static std::string formatStamp(std::chrono::system_clock::time_point time);

 private:
  void write(const std::string& line);

  std::filesystem::path directory_;
  WallClock wallClock_;
  boost::asio::thread_pool worker_{1};  // one thread: the serial "Wrenly.diagnostics" queue
};

}  // namespace wrenly
