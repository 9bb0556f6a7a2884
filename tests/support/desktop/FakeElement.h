#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Accessibility.h"

// One element of a scripted application (FakeApplication::addField / addElement). The test keeps
// the shared_ptr and changes the element at will; the accessibility fake hands out separate
// handles to it, which recognise each other through isSameElement just as real handles do.
class FakeElement {
 public:
  FakeElement(int32_t processID, std::string role, bool editable,
              std::shared_ptr<const bool> applicationAnswers);

  // The fake element behind a handle the accessibility fake gave out; null for anything else.
  static std::shared_ptr<FakeElement> behind(const ElementHandle& handle);

  FakeElement& setRole(std::string role);
  FakeElement& setSecure(bool secure = true);  // a password field
  // Replaces the text and puts the caret at its end.
  FakeElement& setText(std::string text);
  // Selects by UTF-16 offsets, as the accessibility service counts.
  FakeElement& select(int64_t location, int64_t length);
  // Selects the first occurrence of `part`; throws std::invalid_argument when it is not there.
  FakeElement& selectText(std::string_view part);
  // No selection and no caret: selected text and range read as absent.
  FakeElement& clearSelection();
  FakeElement& refuseSelectionChanges(bool refuse = true);

  void destroy();        // gone for good: every read fails, liveness is `gone`
  void stopAnswering();  // reads fail, liveness is `unknown`
  void answerAgain();

  int32_t processID() const { return processID_; }
  const std::string& role() const { return role_; }
  bool isSecure() const { return secure_; }
  bool isEditable() const { return editable_; }
  const std::string& text() const { return text_; }
  std::optional<TextRange> selection() const { return selection_; }
  bool isGone() const { return gone_; }
  // False while the element or its whole application does not answer.
  bool answers() const;
  int selectionChanges() const { return selectionChanges_; }

  // What the accessibility handles read and do.
  std::optional<std::string> readRole() const;
  std::optional<std::string> readSelectedText() const;
  std::optional<TextRange> readSelectedRange() const;
  bool writeSelectedRange(TextRange range);
  ElementLiveness liveness() const;

  // A paste arriving while this element has focus: replaces the selection (or inserts at the
  // caret, or appends) and leaves the caret after the pasted text. False when it cannot take it.
  bool receivePaste(const std::string& pasted);

  // A new handle to this element, as the accessibility fake returns.
  ElementHandle makeHandle();

 private:
  int32_t processID_;
  std::string role_;
  bool editable_;
  std::shared_ptr<const bool> applicationAnswers_;
  std::weak_ptr<FakeElement> self_;
  bool secure_ = false;
  std::string text_;
  std::optional<TextRange> selection_ = TextRange{0, 0};
  bool refusesSelectionChanges_ = false;
  bool gone_ = false;
  bool answers_ = true;
  int selectionChanges_ = 0;

  friend class FakeApplication;
};
