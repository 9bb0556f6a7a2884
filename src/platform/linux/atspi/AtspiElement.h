#pragma once

#include <atspi/atspi.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/Accessibility.h"
#include "platform/linux/atspi/AtspiHomeThread.h"

namespace wrenly {

// One element of another application on the accessibility bus. Every read runs on the home
// thread, and the caller waits at most the timeout the element was found with.
class AtspiElement final : public AccessibleElement {
 public:
  using Timeout = std::chrono::milliseconds;

  // Takes over one reference to `accessible`; made on the home thread.
  AtspiElement(std::shared_ptr<AtspiHomeThread> home, AtspiAccessible* accessible, Timeout timeout);
  ~AtspiElement() override;
  AtspiElement(const AtspiElement&) = delete;
  AtspiElement& operator=(const AtspiElement&) = delete;

  std::optional<std::string> role() const override;
  bool isSecure() const override;
  std::optional<std::string> selectedText() const override;
  std::optional<TextRange> selectedRange() const override;
  bool setSelectedRange(TextRange range) override;
  ElementLiveness liveness() const override;
  bool isSameElement(const AccessibleElement& other) const override;

 private:
  template <typename T>
  std::optional<T> onHome(std::function<T(AtspiAccessible*)> job) const;

  std::shared_ptr<AtspiHomeThread> home_;
  AtspiAccessible* accessible_;  // touched on the home thread only
  Timeout timeout_;
  // Who the element is on the bus: its application's connection and its object path.
  std::string busName_;
  std::string path_;
};

// Sets libatspi's per-call timeouts for a call the caller waits `timeout` for. A call blocks for
// a few times the timeout it is given, so it gets a share.
void applyAtspiTimeout(std::chrono::milliseconds timeout);

// The process behind an accessible object, asked of its application; none when it cannot say.
std::optional<int32_t> askProcessID(AtspiAccessible* accessible);

}  // namespace wrenly
