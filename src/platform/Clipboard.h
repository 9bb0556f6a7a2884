#pragma once

#include <string>

namespace wrenly {

// The desktop's clipboard.
class Clipboard {
 public:
  virtual ~Clipboard() = default;

  // Clears the clipboard and makes `text` (UTF-8) its only content, owned by this program.
  // False when the clipboard refused it.
  virtual bool writeString(const std::string& text) = 0;
};

}  // namespace wrenly
