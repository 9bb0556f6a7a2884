#include "support/desktop/FakeElement.h"

#include <unicode/unistr.h>

#include <stdexcept>

namespace {

class FakeElementHandle final : public AccessibleElement {
 public:
  explicit FakeElementHandle(std::shared_ptr<FakeElement> element) : element_(std::move(element)) {}

  std::optional<std::string> role() const override { return element_->readRole(); }
  bool isSecure() const override { return element_->answers() && element_->isSecure(); }
  std::optional<std::string> selectedText() const override { return element_->readSelectedText(); }
  std::optional<TextRange> selectedRange() const override { return element_->readSelectedRange(); }
  bool setSelectedRange(TextRange range) override { return element_->writeSelectedRange(range); }
  ElementLiveness liveness() const override { return element_->liveness(); }
  bool isSameElement(const AccessibleElement& other) const override {
    auto* handle = dynamic_cast<const FakeElementHandle*>(&other);
    return handle && handle->element_ == element_;
  }

  const std::shared_ptr<FakeElement>& element() const { return element_; }

 private:
  std::shared_ptr<FakeElement> element_;
};

int64_t utf16Length(const std::string& text) {
  return icu::UnicodeString::fromUTF8(text).length();
}

}  // namespace

FakeElement::FakeElement(int32_t processID, std::string role, bool editable,
                         std::shared_ptr<const bool> applicationAnswers)
    : processID_(processID),
      role_(std::move(role)),
      editable_(editable),
      applicationAnswers_(std::move(applicationAnswers)) {
  if (!editable_) selection_.reset();
}

std::shared_ptr<FakeElement> FakeElement::behind(const ElementHandle& handle) {
  auto* fake = dynamic_cast<const FakeElementHandle*>(handle.get());
  return fake ? fake->element() : nullptr;
}

ElementHandle FakeElement::makeHandle() {
  return std::make_shared<FakeElementHandle>(self_.lock());
}

FakeElement& FakeElement::setRole(std::string role) {
  role_ = std::move(role);
  return *this;
}

FakeElement& FakeElement::setSecure(bool secure) {
  secure_ = secure;
  return *this;
}

FakeElement& FakeElement::setText(std::string text) {
  text_ = std::move(text);
  selection_ = TextRange{utf16Length(text_), 0};
  return *this;
}

FakeElement& FakeElement::select(int64_t location, int64_t length) {
  if (location < 0 || length < 0 || location + length > utf16Length(text_)) {
    throw std::invalid_argument("selection outside the element's text");
  }
  selection_ = TextRange{location, length};
  return *this;
}

FakeElement& FakeElement::selectText(std::string_view part) {
  const auto at = text_.find(part);
  if (at == std::string::npos) throw std::invalid_argument("text not in the element");
  return select(utf16Length(text_.substr(0, at)), utf16Length(std::string(part)));
}

FakeElement& FakeElement::clearSelection() {
  selection_.reset();
  return *this;
}

FakeElement& FakeElement::refuseSelectionChanges(bool refuse) {
  refusesSelectionChanges_ = refuse;
  return *this;
}

void FakeElement::destroy() {
  gone_ = true;
}
void FakeElement::stopAnswering() {
  answers_ = false;
}
void FakeElement::answerAgain() {
  answers_ = true;
}

bool FakeElement::answers() const {
  return !gone_ && answers_ && (!applicationAnswers_ || *applicationAnswers_);
}

std::optional<std::string> FakeElement::readRole() const {
  if (!answers()) return std::nullopt;
  return role_;
}

std::optional<std::string> FakeElement::readSelectedText() const {
  if (!answers() || !editable_ || !selection_) return std::nullopt;
  std::string out;
  icu::UnicodeString::fromUTF8(text_)
      .tempSubString(static_cast<int32_t>(selection_->location),
                     static_cast<int32_t>(selection_->length))
      .toUTF8String(out);
  return out;
}

std::optional<TextRange> FakeElement::readSelectedRange() const {
  if (!answers() || !editable_) return std::nullopt;
  return selection_;
}

bool FakeElement::writeSelectedRange(TextRange range) {
  if (!answers() || !editable_ || refusesSelectionChanges_) return false;
  if (range.location < 0 || range.length < 0 ||
      range.location + range.length > utf16Length(text_)) {
    return false;
  }
  selection_ = range;
  ++selectionChanges_;
  return true;
}

ElementLiveness FakeElement::liveness() const {
  if (gone_) return ElementLiveness::gone;
  if (!answers()) return ElementLiveness::unknown;
  return ElementLiveness::alive;
}

bool FakeElement::receivePaste(const std::string& pasted) {
  if (!answers() || !editable_) return false;
  auto whole = icu::UnicodeString::fromUTF8(text_);
  const auto insert = icu::UnicodeString::fromUTF8(pasted);
  const TextRange at = selection_.value_or(TextRange{whole.length(), 0});
  whole.replace(static_cast<int32_t>(at.location), static_cast<int32_t>(at.length), insert);
  text_.clear();
  whole.toUTF8String(text_);
  selection_ = TextRange{at.location + insert.length(), 0};
  return true;
}
