#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace wrenly {

// The spoken language a recognition request names. Encoded on the wire as its raw value.
// `auto` is a C++ keyword, so the "auto" case is spelt `automatic`.
class VoiceLanguage {
 public:
  enum Case : std::uint8_t { cantonese, mandarin, english, automatic };

  constexpr VoiceLanguage(Case value) : value_(value) {}  // NOLINT: implicit on purpose
  constexpr operator Case() const { return value_; }      // switch and ==

  constexpr std::string_view rawValue() const {
    switch (value_) {
      case cantonese:
        return "cantonese";
      case mandarin:
        return "mandarin";
      case english:
        return "english";
      case automatic:
        break;
    }
    return "auto";
  }
  constexpr std::string_view id() const { return rawValue(); }

  // The case for a raw value (exact, case-sensitive), or none.
  static constexpr std::optional<VoiceLanguage> fromRaw(std::string_view raw) {
    for (VoiceLanguage language : allCases()) {
      if (language.rawValue() == raw) return language;
    }
    return std::nullopt;
  }

  static constexpr std::array<VoiceLanguage, 4> allCases() {
    return {cantonese, mandarin, english, automatic};
  }

 private:
  Case value_;
};

}  // namespace wrenly
