#include "platform/linux/x11/KeyTranslation.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include "platform/KeyMonitor.h"

namespace wrenly {

namespace {

std::optional<TranslatedKey> translate(KeySym symbol) {
  using namespace ModifierFlag;
  switch (symbol) {
    // Layouts that make the right Alt key AltGr give it one of the level-shift symbols; it is
    // still the key the user knows as right Alt.
    case XK_Alt_R:
    case XK_Meta_R:
    case XK_ISO_Level3_Shift:
    case XK_Mode_switch:
      return TranslatedKey{KeyCode::rightAlt, option, rightAltDevice};
    case XK_Alt_L:
    case XK_Meta_L:
      return TranslatedKey{KeyCode::leftAlt, option, leftAltDevice};
    case XK_Shift_R:
      return TranslatedKey{KeyCode::rightShift, shift, rightShiftDevice};
    case XK_Shift_L:
      return TranslatedKey{KeyCode::leftShift, shift, leftShiftDevice};
    case XK_Control_R:
      return TranslatedKey{KeyCode::rightControl, control, rightControlDevice};
    case XK_Control_L:
      return TranslatedKey{KeyCode::leftControl, control, leftControlDevice};
    case XK_Super_R:
      return TranslatedKey{KeyCode::rightCommand, command, rightCommandDevice};
    case XK_Super_L:
      return TranslatedKey{KeyCode::leftCommand, command, leftCommandDevice};
    case XK_Caps_Lock:
      return TranslatedKey{KeyCode::capsLock, ModifierFlag::capsLock, 0};
    case XK_r:
      return TranslatedKey{KeyCode::r, 0, 0};
    case XK_v:
      return TranslatedKey{KeyCode::v, 0, 0};
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
}

}  // namespace wrenly
