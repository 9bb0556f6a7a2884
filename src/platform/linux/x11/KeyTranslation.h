#pragma once

#include <X11/Xlib.h>

#include <array>
#include <optional>

#include "platform/KeyMonitor.h"

namespace wrenly {

// What one X key is in the key monitor's vocabulary.
struct TranslatedKey {
  Key key = Key::other;
  KeySide side = KeySide::unknown;
};

// The key monitor's view of every X key code of the current keyboard layout, looked up from the
// key symbols (codes differ between layouts and servers).
class KeyTranslation {
 public:
  // Reads the layout of `display` now; read again after a mapping change.
  explicit KeyTranslation(Display* display);

  const TranslatedKey& operator[](unsigned keycode) const { return keys_[keycode & 0xFF]; }
  // The key that unusedKeycode() named when the layout was read.
  std::optional<unsigned> unused() const { return unused_; }

 private:
  std::array<TranslatedKey, 256> keys_{};
  std::optional<unsigned> unused_;
};

// The highest key code that the current layout of `display` gives no symbol at all: it types
// nothing and no shortcut can name it. None when every code has a symbol. Each connection finds
// the same code for the same layout.
std::optional<unsigned> unusedKeycode(Display* display);

}  // namespace wrenly
