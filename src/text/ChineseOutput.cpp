#include "text/ChineseOutput.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <string_view>

#include "text/IcuText.h"

namespace wrenly {

using icu::UnicodeString;

namespace {

// Common characters whose Simplified form differs from the Traditional one.
constexpr char16_t simplifiedCharacters[] =
    u"这们说语录简关开门听写为吗时来过还发车钱买卖东风龙头让话书电脑软网后钟猫鱼马鸟见对应际报读爱"
    u"请问现变办进从无与点长让师层数线边约举轻难热块广汉亲饮饭药医习实记总问联络断转错备";

// Written Cantonese, always in Traditional characters.
constexpr std::array<std::u16string_view, 15> cantoneseMarkers{
    u"嘅",   u"咗",   u"喺",   u"唔", u"冇", u"佢", u"哋", u"咩",
    u"而家", u"点解", u"點解", u"乜", u"嚟", u"咁", u"啲"};

// Built once; looked up for every character of a long dictation, hence bitmaps. All the
// characters involved lie in the Basic Multilingual Plane.
struct Tables {
  std::bitset<0x10000> simplified;
  std::bitset<0x10000> markerStart;
  Tables() {
    for (char16_t c : std::u16string_view(simplifiedCharacters)) simplified.set(c);
    for (auto marker : cantoneseMarkers) markerStart.set(marker.front());
  }
};

const Tables& tables() {
  static const Tables built;
  return built;
}

bool isKanaOrHangul(UChar32 c) {
  return (c >= 0x3040 && c <= 0x30FF) || (c >= 0xAC00 && c <= 0xD7AF);
}

bool cantoneseMarkerAt(const UnicodeString& evidence, int32_t index) {
  return std::any_of(cantoneseMarkers.begin(), cantoneseMarkers.end(), [&](auto marker) {
    return evidence.compare(index, static_cast<int32_t>(marker.size()), marker.data(), 0,
                            static_cast<int32_t>(marker.size())) == 0;
  });
}

enum class Evidence { none, convert, japaneseOrKorean };

// Kana or Hangul anywhere wins over everything else, so the whole evidence is read.
Evidence weigh(const UnicodeString& evidence) {
  const Tables& table = tables();
  bool convert = false;
  for (int32_t i = 0; i < evidence.length();) {
    const UChar32 c = evidence.char32At(i);
    const int32_t length = U16_LENGTH(c);
    if (isKanaOrHangul(c)) return Evidence::japaneseOrKorean;
    if (!convert && c <= 0xFFFF) {
      convert = (table.simplified.test(c) && text_detail::standsAlone(evidence, i, length)) ||
                (table.markerStart.test(c) && cantoneseMarkerAt(evidence, i));
    }
    i += length;
  }
  return convert ? Evidence::convert : Evidence::none;
}

}  // namespace

namespace ChineseOutput {

std::string normalize(std::string_view text, std::string_view recognized) {
  UnicodeString evidence = text_detail::fromUtf8(recognized);
  evidence.append(text_detail::fromUtf8(text));
  // Simplified characters or written Cantonese in either string call for Traditional script.
  if (weigh(evidence) == Evidence::convert) return ChineseScript::traditional(text);
  return std::string(text);
}

}  // namespace ChineseOutput

}  // namespace wrenly
