#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <vector>

#include "platform/Clock.h"
#include "platform/KeyInjector.h"

// One keystroke half the program sent.
struct InjectedKey {
  enum class Kind { pasteDown, pasteUp };
  Kind kind = Kind::pasteDown;
  int32_t processID = 0;  // the application the paste was meant for
  double uptime = 0;      // the clock's uptime when it was sent

  bool operator==(const InjectedKey&) const = default;
};

std::ostream& operator<<(std::ostream& out, const InjectedKey& key);

// Records the paste keystrokes; FakeDesktop makes a key-down paste the clipboard into the
// focused field of the application in front.
class FakeKeyInjector final : public KeyInjector {
 public:
  explicit FakeKeyInjector(const Clock& clock) : clock_(clock) {}

  bool pasteKeyDown(int32_t processID) override;
  void pasteKeyUp() override;

  // The keystroke cannot be made (no synthetic input on this desktop).
  void refuse(bool refuse = true) { refuses_ = refuse; }
  const std::vector<InjectedKey>& keys() const { return keys_; }
  // Key-downs not yet released.
  int held() const { return held_; }
  void setOnPaste(std::function<void(int32_t)> onPaste) { onPaste_ = std::move(onPaste); }

 private:
  const Clock& clock_;
  std::vector<InjectedKey> keys_;
  std::function<void(int32_t)> onPaste_;
  bool refuses_ = false;
  int held_ = 0;
  int32_t lastProcessID_ = 0;
};
