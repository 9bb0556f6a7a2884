#pragma once

#include <ostream>
#include <string_view>

namespace wrenly {

// How a delivery ended.
enum class MacInsertionResult {
  pasteSent,  // on the clipboard, and the paste keystroke went to the captured field
  copied,     // on the clipboard only: the user has to paste
  failed,     // not even on the clipboard (empty text, or the clipboard refused it)
};

constexpr std::string_view name(MacInsertionResult result) {
  switch (result) {
    case MacInsertionResult::pasteSent:
      return "pasteSent";
    case MacInsertionResult::copied:
      return "copied";
    case MacInsertionResult::failed:
      return "failed";
  }
  return "?";
}

inline std::ostream& operator<<(std::ostream& out, MacInsertionResult result) {
  return out << name(result);
}

}  // namespace wrenly
