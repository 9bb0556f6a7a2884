#include "platform/linux/x11/XInputKeyMonitor.h"

#include <X11/extensions/XInput2.h>

#include <array>

namespace wrenly {

XInputKeyMonitor::XInputKeyMonitor(asio::any_io_executor mainLoop, Display* display,
                                   int xinputOpcode, OwnWindowCheck ownWindowFocused)
    : display_(display),
      xinputOpcode_(xinputOpcode),
      ownWindowFocused_(std::move(ownWindowFocused)),
      keys_(display),
      pump_(std::move(mainLoop), display, [this](XEvent& event) { handle(event); }) {
  std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
  XISetMask(bits.data(), XI_RawKeyPress);
  XISetMask(bits.data(), XI_RawKeyRelease);
  XISetMask(bits.data(), XI_RawButtonPress);
  XIEventMask mask{XIAllMasterDevices, static_cast<int>(bits.size()), bits.data()};
  XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
  XFlush(display_);
}

Subscription XInputKeyMonitor::monitor(Scope scope, Handler handler) {
  return (scope == Scope::global ? global_ : local_).add(std::move(handler));
}

ModifierState XInputKeyMonitor::held() const {
  ModifierState held;
  for (unsigned keycode : modifiersDown_) held.hold(keys_[keycode].key, keys_[keycode].side);
  return held;
}

void XInputKeyMonitor::handle(XEvent& event) {
  if (event.type == MappingNotify) {
    // Layout changed: key codes mean other keys now.
    XRefreshKeyboardMapping(&event.xmapping);
    keys_ = KeyTranslation(display_);
    return;
  }
  XGenericEventCookie& cookie = event.xcookie;
  if (cookie.type != GenericEvent || cookie.extension != xinputOpcode_) return;
  if (!XGetEventData(display_, &cookie)) return;
  const int type = cookie.evtype;
  const unsigned detail = static_cast<unsigned>(static_cast<XIRawEvent*>(cookie.data)->detail);
  XFreeEventData(display_, &cookie);
  rawEvent(type, detail);
}

void XInputKeyMonitor::rawEvent(int type, unsigned detail) {
  // The key the injector taps to keep a held trigger key from opening menus: it is never the
  // user's, so it must not turn a lone tap into a combination.
  if (type != XI_RawButtonPress && detail == keys_.unused()) return;
  std::optional<KeyEvent> event;
  if (type == XI_RawButtonPress) {
    if (!modifiersDown_.empty()) {
      event = KeyEvent{KeyEventType::keyDown, Key::other, KeySide::unknown, held()};
    }
  } else if (const TranslatedKey& key = keys_[detail]; isModifier(key.key)) {
    const bool changed = type == XI_RawKeyPress ? modifiersDown_.insert(detail).second
                                                : modifiersDown_.erase(detail) > 0;
    if (changed) event = KeyEvent{KeyEventType::modifierChanged, key.key, key.side, held()};
  } else if (type == XI_RawKeyPress) {
    event = KeyEvent{KeyEventType::keyDown, key.key, key.side, held()};
  }
  if (!event) return;
  const bool local = ownWindowFocused_ && ownWindowFocused_();
  (local ? local_ : global_).call(*event);
}

}  // namespace wrenly
