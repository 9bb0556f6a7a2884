#include "platform/linux/x11/XGrabChordRegistrar.h"

#include <X11/XKBlib.h>
#include <X11/Xlib-xcb.h>
#include <X11/keysym.h>

#include <cstdlib>
#include <optional>
#include <utility>
#include <vector>

namespace wrenly {

namespace {

std::optional<unsigned long> keysymOf(Key key) {
  switch (key) {
    case Key::r:
      return XK_r;
    case Key::v:
      return XK_v;
    default:
      return std::nullopt;
  }
}

// The variants of `modifiers` with every combination of the lock modifiers in `locks`.
std::vector<unsigned> lockVariants(unsigned modifiers, unsigned locks) {
  std::vector<unsigned> variants;
  for (unsigned subset = locks;; subset = (subset - 1) & locks) {
    variants.push_back(modifiers | subset);
    if (subset == 0) break;
  }
  return variants;
}

}  // namespace

XGrabChordRegistrar::XGrabChordRegistrar(asio::any_io_executor mainLoop, Display* display)
    : display_(display), pump_(std::move(mainLoop), display, [this](XEvent& e) { handle(e); }) {
  // Held keys then send one press and one release instead of a stream of both.
  XkbSetDetectableAutoRepeat(display_, True, nullptr);
}

XGrabChordRegistrar::~XGrabChordRegistrar() {
  for (auto& [id, grab] : *grabs_) ungrab(grab);
  XFlush(display_);
}

unsigned XGrabChordRegistrar::maskOf(unsigned long keysym) const {
  const ::KeyCode keycode = XKeysymToKeycode(display_, keysym);
  std::unique_ptr<XModifierKeymap, decltype(&XFreeModifiermap)> map(XGetModifierMapping(display_),
                                                                    XFreeModifiermap);
  if (keycode == 0 || !map) return 0;
  for (int i = 0; i < 8 * map->max_keypermod; ++i) {
    if (map->modifiermap[i] == keycode) return 1u << (i / map->max_keypermod);
  }
  return 0;
}

unsigned XGrabChordRegistrar::lockVariantsMask() const {
  return LockMask | maskOf(XK_Num_Lock) | maskOf(XK_Scroll_Lock);
}

Subscription XGrabChordRegistrar::registerChord(TriggerChord chord, std::function<void()> pressed,
                                                std::function<void()> released) {
  auto keysym = keysymOf(chord.key);
  const ::KeyCode keycode = keysym ? XKeysymToKeycode(display_, *keysym) : 0;
  if (keycode == 0) return {};
  unsigned modifiers = 0;
  const std::pair<Key, unsigned> kinds[] = {{Key::shift, ShiftMask},
                                            {Key::control, ControlMask},
                                            {Key::alt, maskOf(XK_Alt_L)},
                                            {Key::super, maskOf(XK_Super_L)}};
  for (auto [kind, mask] : kinds) {
    if (chord.held.holds(kind)) {
      if (mask == 0) return {};  // the layout has no such modifier
      modifiers |= mask;
    }
  }

  // Grabs are checked one by one: another client holding any variant is a refusal.
  xcb_connection_t* connection = XGetXCBConnection(display_);
  const xcb_window_t root = DefaultRootWindow(display_);
  XFlush(display_);
  std::vector<xcb_void_cookie_t> cookies;
  const auto variants = lockVariants(modifiers, lockVariantsMask());
  for (unsigned variant : variants) {
    cookies.push_back(xcb_grab_key_checked(connection, 1, root, static_cast<uint16_t>(variant),
                                           keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
  }
  bool refused = false;
  for (auto cookie : cookies) {
    if (xcb_generic_error_t* error = xcb_request_check(connection, cookie)) {
      refused = true;
      std::free(error);
    }
  }
  Grab grab{keycode, modifiers, std::move(pressed), std::move(released)};
  if (refused) {
    ungrab(grab);  // only releases the variants this client holds
    XFlush(display_);
    return {};
  }
  const uint64_t id = nextID_++;
  grabs_->emplace(id, std::move(grab));
  return Subscription([this, weak = std::weak_ptr(grabs_), id] {
    auto grabs = weak.lock();
    if (!grabs) return;
    auto found = grabs->find(id);
    if (found == grabs->end()) return;
    ungrab(found->second);
    XFlush(display_);
    grabs->erase(found);
  });
}

void XGrabChordRegistrar::ungrab(const Grab& grab) {
  for (unsigned variant : lockVariants(grab.modifiers, lockVariantsMask())) {
    XUngrabKey(display_, grab.keycode, variant, DefaultRootWindow(display_));
  }
}

void XGrabChordRegistrar::handle(XEvent& event) {
  if (event.type == MappingNotify) {
    XRefreshKeyboardMapping(&event.xmapping);
    return;
  }
  if (event.type != KeyPress && event.type != KeyRelease) return;
  const unsigned state = event.xkey.state & ~lockVariantsMask();
  auto grabs = grabs_;  // a handler may end its own registration
  for (auto& [id, grab] : *grabs) {
    if (grab.keycode != event.xkey.keycode) continue;
    if (event.type == KeyRelease) {
      // The grab that took the press gets its release whatever is held by then.
      if (!std::exchange(grab.down, false) || !grab.released) continue;
      auto released = grab.released;
      released();
      break;
    }
    if (grab.modifiers != (state & 0xFF) || grab.down) continue;
    grab.down = true;
    auto pressed = grab.pressed;
    pressed();
    break;
  }
}

}  // namespace wrenly
