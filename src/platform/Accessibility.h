#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace wrenly {

// A text selection: offset and length in UTF-16 code units, whatever unit the desktop uses.
struct TextRange {
  int64_t location = 0;
  int64_t length = 0;

  bool operator==(const TextRange&) const = default;
};

// Whether an element still exists. `unknown` means its application did not answer in time, so
// neither of the other two can be claimed.
enum class ElementLiveness { alive, gone, unknown };

// One user-interface element of another application, held for as long as the handle lives.
// Reads that fail or time out give none (or false); they never throw. Each call waits at most
// the messaging timeout the element was obtained with.
class AccessibleElement {
 public:
  virtual ~AccessibleElement() = default;

  // The desktop's role name of the element; none when it cannot be read.
  virtual std::optional<std::string> role() const = 0;
  // True for password fields.
  virtual bool isSecure() const = 0;
  virtual std::optional<std::string> selectedText() const = 0;  // UTF-8
  virtual std::optional<TextRange> selectedRange() const = 0;
  // Selects `range` (UTF-16 units); false when the element refused or did not answer.
  virtual bool setSelectedRange(TextRange range) = 0;
  // Asks the application afresh (no cached answer).
  virtual ElementLiveness liveness() const = 0;
  // The same element of the same application, however each handle was obtained.
  virtual bool isSameElement(const AccessibleElement& other) const = 0;
};

using ElementHandle = std::shared_ptr<AccessibleElement>;

// The desktop's accessibility service: what other applications show of their text fields.
// Every call is made on the main loop.
class Accessibility {
 public:
  using Timeout = std::chrono::milliseconds;

  virtual ~Accessibility() = default;

  // Whether this program may read other applications' elements and watch and send keys.
  virtual bool isTrusted() const = 0;
  // Asks the desktop to grant that (the prompt, or switching the service on); returns at once.
  virtual void requestTrust() = 0;

  // The application's own focused element, whether or not it is the frontmost application: for
  // an application in the background this is the element that had focus when it was last
  // active (the adapter remembers it). None when there is none, the application does not
  // answer within `timeout`, or permission is missing. The element answers later calls within
  // the same timeout.
  virtual ElementHandle focusedElement(int32_t processID, Timeout timeout) = 0;

  // Asks the application to expose its element tree where it only does so on request. Returns
  // the desktop's result code: 0 on success (also where nothing needs asking).
  virtual int prepareApplication(int32_t processID, Timeout timeout) = 0;
};

}  // namespace wrenly
