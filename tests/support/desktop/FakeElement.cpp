#include "support/desktop/FakeElement.h"

#include <unicode/unistr.h>

#include <stdexcept>

namespace wrenly {

namespace {

int64_t utf16Length(std::string_view text) {
  return icu::UnicodeString::fromUTF8(text).length();
}

bool fits(TextRange range, const std::string& text) {
  return range.location >= 0 && range.length >= 0 &&
         range.length <= utf16Length(text) - range.location;
}

}  // namespace

class FakeElement::Handle final : public AccessibleElement {
 public:
  explicit Handle(std::shared_ptr<FakeElement> fake) : element(std::move(fake)) {}

  std::optional<std::string> role() const override {
    if (!element->answers()) return std::nullopt;
    return element->role_;
  }
  bool isSecure() const override { return element->answers() && element->secure_; }
  std::optional<std::string> selectedText() const override {
    if (!element->answers() || !element->selection_) return std::nullopt;
    std::string out;
    icu::UnicodeString::fromUTF8(element->text_)
        .tempSubString(static_cast<int32_t>(element->selection_->location),
                       static_cast<int32_t>(element->selection_->length))
        .toUTF8String(out);
    return out;
  }
  std::optional<TextRange> selectedRange() const override {
    if (!element->answers()) return std::nullopt;
    return element->selection_;
  }
  bool setSelectedRange(TextRange range) override {
    if (!element->answers() || element->refusesSelectionChanges_) return false;
    if (!fits(range, element->text_)) return false;
    element->selection_ = range;
    return true;
  }
  ElementLiveness liveness() const override {
    if (element->gone_) return ElementLiveness::gone;
    return element->answers() ? ElementLiveness::alive : ElementLiveness::unknown;
  }
  bool isSameElement(const AccessibleElement& other) const override {
    auto* handle = dynamic_cast<const Handle*>(&other);
    return handle && handle->element == element;
  }

  std::shared_ptr<FakeElement> element;
};

ElementHandle FakeElement::makeHandle() {
  return std::make_shared<Handle>(shared_from_this());
}

FakeElement& FakeElement::setText(std::string text) {
  text_ = std::move(text);
  selection_ = TextRange{utf16Length(text_), 0};
  return *this;
}

FakeElement& FakeElement::select(int64_t location, int64_t length) {
  if (!fits({location, length}, text_)) {
    throw std::invalid_argument("selection outside the element's text");
  }
  selection_ = TextRange{location, length};
  return *this;
}

FakeElement& FakeElement::selectText(std::string_view part) {
  const auto at = text_.find(part);
  if (at == std::string::npos) throw std::invalid_argument("text not in the element");
  return select(utf16Length(std::string_view(text_).substr(0, at)), utf16Length(part));
}

void FakeElement::receivePaste(const std::string& pasted) {
  if (!answers()) return;
  auto whole = icu::UnicodeString::fromUTF8(text_);
  const auto insert = icu::UnicodeString::fromUTF8(pasted);
  const TextRange at = selection_.value_or(TextRange{whole.length(), 0});
  whole.replace(static_cast<int32_t>(at.location), static_cast<int32_t>(at.length), insert);
  text_.clear();
  whole.toUTF8String(text_);
  selection_ = TextRange{at.location + insert.length(), 0};
}

}  // namespace wrenly
