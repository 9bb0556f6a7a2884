#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/KeyInjector.h"

struct zwp_virtual_keyboard_v1;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace wrenly {

class WaylandConnection;

// Paste keystrokes through a virtual keyboard of the compositor (wlroots-based ones offer it),
// which reaches native Wayland windows where the X server's synthetic keys do not. The keyboard
// stays open for the program's life with a complete keymap of the user's layout: toolkits match
// their shortcuts against that keymap, and one made of just the keys sent is ignored by some.
class VirtualKeyInjector final : public KeyInjector {
 public:
  using TerminalCheck = std::function<bool(int32_t processID)>;

  // None when the compositor offers no virtual keyboard or the layout has no Ctrl, Shift or V.
  // Borrows `connection`, which must outlive the adapter.
  static std::unique_ptr<VirtualKeyInjector> open(WaylandConnection& connection,
                                                  TerminalCheck isTerminal);
  ~VirtualKeyInjector() override;

  bool pasteKeyDown(int32_t processID) override;
  void pasteKeyUp() override;
  // Nothing is sent: a key from this keyboard while the user holds Alt on their own would switch
  // the seat to this keyboard's keymap in the middle of the press.
  bool tapUnusedKey() override { return false; }

 private:
  struct Keys {
    uint32_t control = 0;  // XKB key codes
    uint32_t shift = 0;
    uint32_t v = 0;
  };
  struct XkbFree {
    void operator()(xkb_context* context) const;
    void operator()(xkb_keymap* keymap) const;
    void operator()(xkb_state* state) const;
  };

  VirtualKeyInjector(WaylandConnection& connection, TerminalCheck isTerminal)
      : connection_(connection), isTerminal_(std::move(isTerminal)) {}
  void send(uint32_t key, bool down);

  WaylandConnection& connection_;
  TerminalCheck isTerminal_;
  std::unique_ptr<xkb_context, XkbFree> context_;
  std::unique_ptr<xkb_keymap, XkbFree> keymap_;
  std::unique_ptr<xkb_state, XkbFree> state_;  // what the compositor was told is held
  zwp_virtual_keyboard_v1* keyboard_ = nullptr;
  Keys keys_;
  std::vector<uint32_t> pressed_;  // in press order
};

}  // namespace wrenly
