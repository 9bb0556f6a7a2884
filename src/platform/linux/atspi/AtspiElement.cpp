#include "platform/linux/atspi/AtspiElement.h"

#include <algorithm>
#include <cstring>

#include "platform/linux/atspi/GObjectRef.h"
#include "platform/linux/atspi/Utf16Offsets.h"

namespace wrenly {

namespace {

struct ErrorSlot {
  GError* error = nullptr;
  ~ErrorSlot() {
    if (error) g_error_free(error);
  }
  GError** operator&() { return &error; }
  explicit operator bool() const { return error != nullptr; }
};

struct GFreer {
  void operator()(void* data) const { g_free(data); }
};
using OwnedChars = std::unique_ptr<gchar, GFreer>;

std::optional<std::string> textBetween(AtspiText* text, int start, int end) {
  ErrorSlot error;
  OwnedChars value(atspi_text_get_text(text, start, end, &error));
  if (error || !value) return std::nullopt;
  return std::string(value.get());
}

// The element's first selection in characters; none when it has none.
std::optional<std::pair<int, int>> firstSelection(AtspiText* text) {
  ErrorSlot error;
  const int count = atspi_text_get_n_selections(text, &error);
  if (error || count <= 0) return std::nullopt;
  std::unique_ptr<AtspiRange, GFreer> range(atspi_text_get_selection(text, 0, &error));
  if (error || !range || range->end_offset <= range->start_offset) return std::nullopt;
  return std::pair(range->start_offset, range->end_offset);
}

bool mentionsTimeout(const GError* error) {
  std::string message = error && error->message ? error->message : "";
  std::transform(message.begin(), message.end(), message.begin(), ::tolower);
  return message.find("timeout") != std::string::npos ||
         message.find("timed out") != std::string::npos ||
         message.find("did not receive a reply") != std::string::npos;
}

}  // namespace

void applyAtspiTimeout(std::chrono::milliseconds timeout) {
  const auto share = std::max<int64_t>(timeout.count() / 3, 10);
  atspi_set_timeout(static_cast<int>(share), static_cast<int>(share));
}

AtspiElement::AtspiElement(std::shared_ptr<AtspiHomeThread> home, AtspiAccessible* accessible,
                           Timeout timeout)
    : home_(std::move(home)), accessible_(accessible), timeout_(timeout) {
  auto* object = ATSPI_OBJECT(accessible_);
  if (object->app && object->app->bus_name) busName_ = object->app->bus_name;
  if (object->path) path_ = object->path;
}

AtspiElement::~AtspiElement() {
  home_->post([accessible = accessible_] { g_object_unref(accessible); });
}

template <typename T>
std::optional<T> AtspiElement::onHome(std::function<T(AtspiAccessible*)> job) const {
  return home_->call<T>(
      [accessible = accessible_, timeout = timeout_, job = std::move(job)] {
        applyAtspiTimeout(timeout);
        return job(accessible);
      },
      timeout_);
}

std::optional<std::string> AtspiElement::role() const {
  auto name = onHome<std::optional<std::string>>([](AtspiAccessible* accessible) {
    ErrorSlot error;
    OwnedChars role(atspi_accessible_get_role_name(accessible, &error));
    return error || !role ? std::nullopt : std::optional<std::string>(role.get());
  });
  return name.value_or(std::nullopt);
}

bool AtspiElement::isSecure() const {
  return onHome<bool>([](AtspiAccessible* accessible) {
           ErrorSlot error;
           return atspi_accessible_get_role(accessible, &error) == ATSPI_ROLE_PASSWORD_TEXT &&
                  !error;
         })
      .value_or(false);
}

std::optional<std::string> AtspiElement::selectedText() const {
  auto selected = onHome<std::optional<std::string>>(
      [](AtspiAccessible* accessible) -> std::optional<std::string> {
        auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(accessible));
        if (!text) return std::nullopt;
        auto selection = firstSelection(text.get());
        if (!selection) return std::string();
        return textBetween(text.get(), selection->first, selection->second);
      });
  return selected.value_or(std::nullopt);
}

std::optional<TextRange> AtspiElement::selectedRange() const {
  auto range =
      onHome<std::optional<TextRange>>([](AtspiAccessible* accessible) -> std::optional<TextRange> {
        auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(accessible));
        if (!text) return std::nullopt;
        auto selection = firstSelection(text.get());
        if (!selection) {
          // No selection: the insertion point, as an empty range.
          ErrorSlot error;
          const int caret = atspi_text_get_caret_offset(text.get(), &error);
          if (error || caret < 0) return std::nullopt;
          selection = std::pair(caret, caret);
        }
        auto prefix = textBetween(text.get(), 0, selection->second);
        if (!prefix) return std::nullopt;
        const int64_t start = utf16Units(*prefix, selection->first);
        return TextRange{start, utf16Units(*prefix, selection->second) - start};
      });
  return range.value_or(std::nullopt);
}

bool AtspiElement::setSelectedRange(TextRange range) {
  if (range.location < 0 || range.length < 0) return false;
  return onHome<bool>([range](AtspiAccessible* accessible) {
           auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(accessible));
           if (!text) return false;
           ErrorSlot error;
           const int count = atspi_text_get_character_count(text.get(), &error);
           auto all = error ? std::nullopt : textBetween(text.get(), 0, count);
           if (!all) return false;
           auto start = charactersForUnits(*all, range.location);
           auto end = charactersForUnits(*all, range.location + range.length);
           if (!start || !end) return false;
           const int from = static_cast<int>(*start);
           const int to = static_cast<int>(*end);
           if (from == to) {
             if (firstSelection(text.get())) atspi_text_remove_selection(text.get(), 0, nullptr);
             return atspi_text_set_caret_offset(text.get(), from, nullptr) != FALSE;
           }
           // Setting fails where there is no selection yet; then one is added.
           if (atspi_text_set_selection(text.get(), 0, from, to, nullptr)) return true;
           return atspi_text_add_selection(text.get(), from, to, nullptr) != FALSE;
         })
      .value_or(false);
}

ElementLiveness AtspiElement::liveness() const {
  return onHome<ElementLiveness>([](AtspiAccessible* accessible) {
           atspi_accessible_clear_cache(accessible);
           ErrorSlot error;
           atspi_accessible_get_role(accessible, &error);
           if (error)
             return mentionsTimeout(error.error) ? ElementLiveness::unknown : ElementLiveness::gone;
           auto states =
               GObjectRef<AtspiStateSet>::adopt(atspi_accessible_get_state_set(accessible));
           if (states && atspi_state_set_contains(states.get(), ATSPI_STATE_DEFUNCT)) {
             return ElementLiveness::gone;
           }
           return ElementLiveness::alive;
         })
      .value_or(ElementLiveness::unknown);
}

bool AtspiElement::isSameElement(const AccessibleElement& other) const {
  auto* element = dynamic_cast<const AtspiElement*>(&other);
  return element && !busName_.empty() && element->busName_ == busName_ && element->path_ == path_;
}

std::optional<int32_t> askProcessID(AtspiAccessible* accessible) {
  GError* error = nullptr;
  const guint processID = atspi_accessible_get_process_id(accessible, &error);
  if (error) {
    g_error_free(error);
    return std::nullopt;
  }
  return static_cast<int32_t>(processID);
}

}  // namespace wrenly
