#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wrenly {

// Where the user's own words are kept between runs, as the text of their file (OwnWordsText
// gives its form). Safe to call from any thread.
class WordStore {
 public:
  virtual ~WordStore() = default;
  // The stored text; none when nothing is stored yet or it cannot be read.
  virtual std::optional<std::string> read() const = 0;
  // Replaces the stored text; false when it could not be kept.
  virtual bool write(std::string_view text) = 0;
};

}  // namespace wrenly
