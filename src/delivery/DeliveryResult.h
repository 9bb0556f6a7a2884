#pragma once

#include <ostream>
#include <string_view>

namespace wrenly {

// How a delivery ended.
enum class DeliveryResult {
  pasteSent,  // on the clipboard, and the paste keystroke went to the captured field
  copied,     // on the clipboard only: the user has to paste
  failed,     // not even on the clipboard (empty text, or the clipboard refused it)
};

constexpr std::string_view name(DeliveryResult result) {
  switch (result) {
    case DeliveryResult::pasteSent:
      return "pasteSent";
    case DeliveryResult::copied:
      return "copied";
    case DeliveryResult::failed:
      return "failed";
  }
  return "?";
}

inline std::ostream& operator<<(std::ostream& out, DeliveryResult result) {
  return out << name(result);
}

}  // namespace wrenly
