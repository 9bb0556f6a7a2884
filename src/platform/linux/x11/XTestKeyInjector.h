#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/KeyInjector.h"

namespace wrenly {

// Paste keystrokes through the XTEST extension, with key codes looked up from key symbols on
// the current layout (a fixed code means another key elsewhere).
class XTestKeyInjector final : public KeyInjector {
 public:
  // Whether the application wants Ctrl+Shift+V (terminals), asked about the process in front.
  using TerminalCheck = std::function<bool(int32_t processID)>;

  // Borrows `display` (main loop only), which must outlive the adapter.
  XTestKeyInjector(Display* display, TerminalCheck isTerminal);

  bool pasteKeyDown(int32_t processID) override;
  void pasteKeyUp() override;
  bool tapUnusedKey() override;

 private:
  void releaseHeldModifiers(const std::vector<::KeyCode>& keep);

  Display* display_;
  TerminalCheck isTerminal_;
  std::vector<::KeyCode> pressed_;  // in press order
};

}  // namespace wrenly
