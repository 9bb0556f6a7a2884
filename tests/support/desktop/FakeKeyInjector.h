#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Clock.h"
#include "platform/KeyInjector.h"

namespace wrenly {

// One keystroke half the program sent.
struct InjectedKey {
  enum class Kind { pasteDown, pasteUp, unusedKeyTap };
  Kind kind = Kind::pasteDown;
  int32_t processID = 0;     // the application the paste was meant for
  Clock::Duration sentAt{};  // the clock's reading when it was sent
};

// Records the paste keystrokes and unused-key taps; a key-down runs `onPaste` (FakeDesktop pastes
// the clipboard).
class FakeKeyInjector final : public KeyInjector {
 public:
  FakeKeyInjector(const Clock& clock, std::function<void()> onPaste)
      : clock_(clock), onPaste_(std::move(onPaste)) {}

  bool pasteKeyDown(int32_t processID) override {
    if (refuses_) return false;
    keys_.push_back({InjectedKey::Kind::pasteDown, processID, clock_.now()});
    onPaste_();
    return true;
  }
  void pasteKeyUp() override {
    keys_.push_back({InjectedKey::Kind::pasteUp, keys_.back().processID, clock_.now()});
  }
  bool tapUnusedKey() override {
    if (refuses_) return false;
    keys_.push_back({InjectedKey::Kind::unusedKeyTap, 0, clock_.now()});
    return true;
  }

  // The keystroke cannot be made (no synthetic input on this desktop).
  void refuse() { refuses_ = true; }
  const std::vector<InjectedKey>& keys() const { return keys_; }

 private:
  const Clock& clock_;
  std::function<void()> onPaste_;
  std::vector<InjectedKey> keys_;
  bool refuses_ = false;
};

}  // namespace wrenly
