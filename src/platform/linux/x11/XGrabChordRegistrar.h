#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <map>
#include <memory>

#include "platform/Asio.h"
#include "platform/ChordRegistrar.h"
#include "platform/linux/x11/XEventPump.h"

namespace wrenly {

// Hot keys as passive key grabs on the root window of this adapter's own connection. A grab is
// per modifier state, so each chord is grabbed once for every Caps Lock / Num Lock combination.
class XGrabChordRegistrar final : public ChordRegistrar {
 public:
  // `display` is this adapter's own connection; it must outlive the adapter.
  XGrabChordRegistrar(asio::any_io_executor mainLoop, Display* display);
  ~XGrabChordRegistrar() override;

  Subscription registerChord(TriggerChord chord, std::function<void()> pressed,
                             std::function<void()> released) override;

 private:
  struct Grab {
    ::KeyCode keycode = 0;
    unsigned modifiers = 0;
    std::function<void()> pressed;
    std::function<void()> released;
    bool down = false;  // held: auto-repeat presses are not new presses
  };

  void handle(XEvent& event);
  unsigned maskOf(unsigned long keysym) const;
  unsigned lockVariantsMask() const;
  void ungrab(const Grab& grab);

  Display* display_;
  uint64_t nextID_ = 0;
  std::shared_ptr<std::map<uint64_t, Grab>> grabs_ = std::make_shared<std::map<uint64_t, Grab>>();
  XEventPump pump_;
};

}  // namespace wrenly
