#pragma once

#include "platform/HandlerList.h"
#include "platform/HotKeyRegistrar.h"

namespace wrenly {

// Hot keys held by the program; the test presses them, synchronously, with `press`.
class FakeHotKeyRegistrar final : public HotKeyRegistrar {
 public:
  Subscription registerHotKey(HotKeyChord chord, std::function<void()> pressed) override {
    if (refuses_) return {};
    return chords_.add([chord, pressed = std::move(pressed)](const HotKeyChord& sent) {
      if (sent == chord) pressed();
    });
  }

  void refuse(bool refuse = true) { refuses_ = refuse; }  // another program holds every chord
  void press(HotKeyChord chord) { chords_.call(chord); }
  size_t registrations() const { return chords_.size(); }

 private:
  HandlerList<HotKeyChord> chords_;
  bool refuses_ = false;
};

}  // namespace wrenly
