#include "platform/linux/x11/XTestKeyInjector.h"

#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <memory>

#include "platform/linux/x11/KeyTranslation.h"

namespace wrenly {

XTestKeyInjector::XTestKeyInjector(Display* display, TerminalCheck isTerminal)
    : display_(display), isTerminal_(std::move(isTerminal)) {}

bool XTestKeyInjector::pasteKeyDown(int32_t processID) {
  pasteKeyUp();
  const ::KeyCode control = XKeysymToKeycode(display_, XK_Control_L);
  const ::KeyCode shift = XKeysymToKeycode(display_, XK_Shift_L);
  const ::KeyCode v = XKeysymToKeycode(display_, XK_v);
  const bool terminal = isTerminal_ && isTerminal_(processID);
  if (control == 0 || v == 0 || (terminal && shift == 0)) return false;

  std::vector<::KeyCode> keys{control};
  if (terminal) keys.push_back(shift);
  // Our modifiers go down before the user's held ones come up: a trigger key still held then
  // counts as used with another key, so its release is not taken for a lone tap.
  for (::KeyCode key : keys) XTestFakeKeyEvent(display_, key, True, CurrentTime);
  releaseHeldModifiers(keys);
  XTestFakeKeyEvent(display_, v, True, CurrentTime);
  keys.push_back(v);
  pressed_ = std::move(keys);
  XSync(display_, False);
  return true;
}

void XTestKeyInjector::pasteKeyUp() {
  if (pressed_.empty()) return;
  for (auto key = pressed_.rbegin(); key != pressed_.rend(); ++key) {
    XTestFakeKeyEvent(display_, *key, False, CurrentTime);
  }
  pressed_.clear();
  XSync(display_, False);
}

bool XTestKeyInjector::tapUnusedKey() {
  // Looked up on each tap: the layout may have changed since the last one.
  const auto keycode = unusedKeycode(display_);
  if (!keycode) return false;
  XTestFakeKeyEvent(display_, *keycode, True, CurrentTime);
  XTestFakeKeyEvent(display_, *keycode, False, CurrentTime);
  XSync(display_, False);
  return true;
}

void XTestKeyInjector::releaseHeldModifiers(const std::vector<::KeyCode>& keep) {
  std::array<char, 32> down{};
  XQueryKeymap(display_, down.data());
  std::unique_ptr<XModifierKeymap, decltype(&XFreeModifiermap)> modifiers(
      XGetModifierMapping(display_), XFreeModifiermap);
  if (!modifiers) return;
  const int count = 8 * modifiers->max_keypermod;
  for (int i = 0; i < count; ++i) {
    const ::KeyCode key = modifiers->modifiermap[i];
    if (key == 0 || std::find(keep.begin(), keep.end(), key) != keep.end()) continue;
    // Lock keys (Caps, Num) are toggles: pressing them up would not change their state.
    const int modifier = i / modifiers->max_keypermod;
    if (modifier == LockMapIndex) continue;
    const KeySym symbol = XkbKeycodeToKeysym(display_, key, 0, 0);
    if (symbol == XK_Num_Lock) continue;
    if (down[key / 8] & (1 << (key % 8))) XTestFakeKeyEvent(display_, key, False, CurrentTime);
  }
}

}  // namespace wrenly
