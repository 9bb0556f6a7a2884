#include "platform/linux/x11/KeyTranslation.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <algorithm>
#include <memory>

namespace wrenly {

namespace {

std::optional<TranslatedKey> translate(KeySym symbol) {
  using enum KeySide;
  switch (symbol) {
    // Layouts that make the right Alt key AltGr give it one of the level-shift symbols; it is
    // still the key the user knows as right Alt.
    case XK_Alt_R:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
    case XK_Mode_switch:
      return TranslatedKey{Key::alt, right};
    case XK_Alt_L:
    case XK_Meta_L:
      return TranslatedKey{Key::alt, left};
    case XK_Shift_R:
      return TranslatedKey{Key::shift, right};
    case XK_Shift_L:
      return TranslatedKey{Key::shift, left};
    case XK_Control_R:
      return TranslatedKey{Key::control, right};
    case XK_Control_L:
      return TranslatedKey{Key::control, left};
    case XK_Super_R:
      return TranslatedKey{Key::super, right};
    case XK_Super_L:
      return TranslatedKey{Key::super, left};
    case XK_Caps_Lock:
      return TranslatedKey{Key::capsLock, unknown};
    case XK_r:
      return TranslatedKey{Key::r, unknown};
    case XK_v:
      return TranslatedKey{Key::v, unknown};
    default:
      return std::nullopt;
  }
}

}  // namespace

KeyTranslation::KeyTranslation(Display* display) {
  int minimum = 0;
  int maximum = 0;
  XDisplayKeycodes(display, &minimum, &maximum);
  for (int keycode = minimum; keycode <= maximum && keycode < 256; ++keycode) {
    // The unshifted symbol of the first group names the key.
    auto key = translate(XkbKeycodeToKeysym(display, static_cast<::KeyCode>(keycode), 0, 0));
    if (key) keys_[keycode] = *key;
  }
  unused_ = unusedKeycode(display);
}

std::optional<unsigned> unusedKeycode(Display* display) {
  int minimum = 0;
  int maximum = 0;
  XDisplayKeycodes(display, &minimum, &maximum);
  maximum = std::min(maximum, 255);
  if (maximum < minimum) return std::nullopt;
  int perCode = 0;
  const std::unique_ptr<KeySym, decltype(&XFree)> symbols(
      XGetKeyboardMapping(display, static_cast<::KeyCode>(minimum), maximum - minimum + 1,
                          &perCode),
      XFree);
  if (!symbols) return std::nullopt;
  for (int keycode = maximum; keycode >= minimum; --keycode) {
    const KeySym* row = symbols.get() + (keycode - minimum) * perCode;
    if (std::all_of(row, row + perCode, [](KeySym symbol) { return symbol == NoSymbol; }))
      return static_cast<unsigned>(keycode);
  }
  return std::nullopt;
}

}  // namespace wrenly
