#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "StartupError.h"

namespace wrenly::speech {

// Simplified ↔ Traditional Chinese conversion with OpenCC's phrase dictionaries (Debian's
// libopencc-data). Text without Chinese passes through unchanged. Thread-safe.
class ChineseConverter {
 public:
  static Expected<std::unique_ptr<ChineseConverter>, StartupError> create();
  ~ChineseConverter();
  ChineseConverter(const ChineseConverter&) = delete;
  ChineseConverter& operator=(const ChineseConverter&) = delete;

  std::string toTraditional(std::string_view text) const;
  std::string toSimplified(std::string_view text) const;

 private:
  ChineseConverter(void* toTraditional, void* toSimplified)
      : toTraditional_(toTraditional), toSimplified_(toSimplified) {}
  std::string convert(void* converter, std::string_view text) const;

  void* toTraditional_;  // opencc_t
  void* toSimplified_;
  mutable std::mutex mutex_;
};

}  // namespace wrenly::speech
