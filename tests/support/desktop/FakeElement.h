#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Accessibility.h"

namespace wrenly {

// One text field of a scripted application (FakeApplication::addField). The test keeps the
// shared_ptr and changes the field at will; the accessibility fake hands out separate handles to
// it, which recognise each other through isSameElement just as real handles do.
class FakeElement : public std::enable_shared_from_this<FakeElement> {
 public:
  FakeElement(std::string role, std::shared_ptr<const bool> applicationAnswers)
      : role_(std::move(role)), applicationAnswers_(std::move(applicationAnswers)) {}

  // A new handle to this element, as the accessibility fake returns.
  ElementHandle makeHandle();

  FakeElement& setSecure(bool secure = true) {  // a password field
    secure_ = secure;
    return *this;
  }
  // Replaces the text and puts the caret at its end.
  FakeElement& setText(std::string text);
  // Selects by UTF-16 offsets, as the accessibility service counts.
  FakeElement& select(int64_t location, int64_t length);
  // Selects the first occurrence of `part`; throws std::invalid_argument when it is not there.
  FakeElement& selectText(std::string_view part);
  // No selection and no caret: selected text and range read as absent.
  FakeElement& clearSelection() {
    selection_.reset();
    return *this;
  }
  FakeElement& refuseSelectionChanges() {
    refusesSelectionChanges_ = true;
    return *this;
  }
  void destroy() { gone_ = true; }            // every read fails, liveness is `gone`
  void stopAnswering() { answers_ = false; }  // reads fail, liveness is `unknown`

  const std::string& text() const { return text_; }
  bool isSecure() const { return secure_; }
  bool isGone() const { return gone_; }
  // False while the element or its whole application does not answer.
  bool answers() const { return !gone_ && answers_ && *applicationAnswers_; }

  // A paste arriving while this element has focus: replaces the selection (or appends) and
  // leaves the caret after the pasted text.
  void receivePaste(const std::string& pasted);

 private:
  class Handle;

  std::string role_;
  std::shared_ptr<const bool> applicationAnswers_;
  bool secure_ = false;
  std::string text_;
  std::optional<TextRange> selection_ = TextRange{0, 0};
  bool refusesSelectionChanges_ = false;
  bool gone_ = false;
  bool answers_ = true;
};

}  // namespace wrenly
