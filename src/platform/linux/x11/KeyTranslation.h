#pragma once

#include <X11/Xlib.h>

#include <array>
#include <cstdint>
#include <optional>

namespace wrenly {

// What one X key is to the trigger-key detector.
struct TranslatedKey {
  uint16_t keyCode = 0xFFFF;  // KeyCode::other unless known
  uint64_t familyFlag = 0;    // set for modifier keys
  uint64_t deviceFlag = 0;    // the left/right bit of a modifier key
  bool isModifier() const { return familyFlag != 0; }
};

// The detector's view of every X key code of the current keyboard layout, looked up from the
// key symbols (codes differ between layouts and servers).
class KeyTranslation {
 public:
  // Reads the layout of `display` now; read again after a mapping change.
  explicit KeyTranslation(Display* display);

  const TranslatedKey& operator[](unsigned keycode) const { return keys_[keycode & 0xFF]; }

 private:
  std::array<TranslatedKey, 256> keys_{};
};

}  // namespace wrenly
