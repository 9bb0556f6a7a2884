#pragma once

#include <cstdint>

namespace wrenly {

// Synthetic keystrokes. The pause between press and release is the caller's, on its Clock, so
// the target application sees an ordinary keystroke.
class KeyInjector {
 public:
  virtual ~KeyInjector() = default;

  // Presses the desktop's paste keys for the frontmost application `processID` (Ctrl+V, or
  // what that application needs instead), first releasing modifier keys the user still holds so
  // they do not turn it into another shortcut. False when the keystroke cannot be made; nothing
  // was sent then.
  virtual bool pasteKeyDown(int32_t processID) = 0;
  // Releases what the last successful `pasteKeyDown` pressed.
  virtual void pasteKeyUp() = 0;

  // Presses and releases a key that types nothing and is bound to nothing on the current
  // layout. Sent while a modifier key is held, it makes applications see that modifier used
  // with another key, so its release is not a lone tap to them (a lone Alt opens the menu bar
  // in many toolkits). False when the layout leaves no such key; nothing was sent then. The key
  // monitor never reports this key.
  virtual bool tapUnusedKey() = 0;
};

}  // namespace wrenly
