#pragma once

#include "base/HandlerList.h"
#include "platform/ChordRegistrar.h"

namespace wrenly {

// Hot keys held by the program; the test presses them, synchronously, with `press`.
class FakeChordRegistrar final : public ChordRegistrar {
 public:
  Subscription registerChord(TriggerChord chord, std::function<void()> pressed) override {
    if (refuses_) return {};
    return chords_.add([chord, pressed = std::move(pressed)](const TriggerChord& sent) {
      if (sent == chord) pressed();
    });
  }

  void refuse(bool refuse = true) { refuses_ = refuse; }  // another program holds every chord
  void press(TriggerChord chord) { chords_.call(chord); }
  size_t registrations() const { return chords_.size(); }

 private:
  HandlerList<TriggerChord> chords_;
  bool refuses_ = false;
};

}  // namespace wrenly
