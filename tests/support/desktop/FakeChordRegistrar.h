#pragma once

#include "base/HandlerList.h"
#include "platform/ChordRegistrar.h"

namespace wrenly {

// Hot keys held by the program; the test presses them, synchronously, with `press`.
class FakeChordRegistrar final : public ChordRegistrar {
 public:
  Subscription registerChord(TriggerChord chord, std::function<void()> pressed,
                             std::function<void()> released) override {
    if (refuses_) return {};
    return chords_.add([chord, pressed = std::move(pressed), released = std::move(released)](
                           const TriggerChord& sent, bool down) {
      if (sent != chord) return;
      if (down) pressed();
      if (!down && released) released();
    });
  }

  void refuse(bool refuse = true) { refuses_ = refuse; }  // another program holds every chord
  void press(TriggerChord chord) { chords_.call(chord, true); }
  void release(TriggerChord chord) { chords_.call(chord, false); }
  size_t registrations() const { return chords_.size(); }

 private:
  HandlerList<TriggerChord, bool> chords_;
  bool refuses_ = false;
};

}  // namespace wrenly
