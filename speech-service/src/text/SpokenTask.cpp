#include "text/SpokenTask.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <array>
#include <optional>
#include <utility>
#include <vector>

#include "text/ChineseConverter.h"
#include "text/Utf8Text.h"

namespace wrenly::speech {

namespace {

// Key phrases, compared with the instruction once both are in lower case, in Simplified
// characters and without spaces or punctuation.
constexpr std::array<std::pair<SpokenTaskKind, std::string_view>, 29> keyPhrases{{
    {SpokenTaskKind::upperCase, "uppercase"},
    {SpokenTaskKind::upperCase, "allcaps"},
    {SpokenTaskKind::upperCase, "capitalletters"},
    {SpokenTaskKind::upperCase, "大写"},
    {SpokenTaskKind::lowerCase, "lowercase"},
    {SpokenTaskKind::lowerCase, "smallletters"},
    {SpokenTaskKind::lowerCase, "小写"},
    {SpokenTaskKind::traditional, "traditional"},
    {SpokenTaskKind::traditional, "繁体"},
    {SpokenTaskKind::simplified, "simplified"},
    {SpokenTaskKind::simplified, "简体"},
    {SpokenTaskKind::numberedList, "numberedlist"},
    {SpokenTaskKind::numberedList, "numberlist"},
    {SpokenTaskKind::numberedList, "numbered"},
    {SpokenTaskKind::numberedList, "编号"},
    {SpokenTaskKind::numberedList, "数字列表"},
    {SpokenTaskKind::numberedList, "有序列表"},
    {SpokenTaskKind::bulletedList, "bulletedlist"},
    {SpokenTaskKind::bulletedList, "bulletlist"},
    {SpokenTaskKind::bulletedList, "bulletpoints"},
    {SpokenTaskKind::bulletedList, "bullets"},
    {SpokenTaskKind::bulletedList, "项目符号"},
    {SpokenTaskKind::bulletedList, "列点"},
    {SpokenTaskKind::bulletedList, "无序列表"},
    {SpokenTaskKind::deletion, "delete"},
    {SpokenTaskKind::deletion, "remove"},
    {SpokenTaskKind::deletion, "erase"},
    {SpokenTaskKind::deletion, "删除"},
    {SpokenTaskKind::deletion, "删掉"},
}};

std::string comparable(std::string_view instruction, const ChineseConverter& converter) {
  std::u32string kept;
  for (char32_t c : codePointsOf(converter.toSimplified(instruction))) {
    if (c >= 'A' && c <= 'Z') c += 32;
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || isHan(c)) kept += c;
  }
  return utf8Of(kept);
}

std::string changeCase(std::string_view text, SpokenTaskKind kind) {
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  if (kind == SpokenTaskKind::upperCase) {
    unicode.toUpper(icu::Locale::getRoot());
  } else {
    unicode.toLower(icu::Locale::getRoot());
  }
  std::string out;
  unicode.toUTF8String(out);
  return out;
}

std::u32string trimmed(std::u32string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && (isSpace(text[begin]) || text[begin] == '\n')) ++begin;
  while (end > begin && (isSpace(text[end - 1]) || text[end - 1] == '\n')) --end;
  return std::u32string(text.substr(begin, end - begin));
}

// An item without the number or bullet it may already carry ("1.", "2)", "-", "*", "•").
std::u32string withoutMarker(std::u32string item) {
  size_t at = 0;
  while (at < item.size() && item[at] >= '0' && item[at] <= '9') ++at;
  if (at > 0 && at < item.size() && (item[at] == '.' || item[at] == ')' || item[at] == 0x3001)) {
    return trimmed(std::u32string_view(item).substr(at + 1));
  }
  if (!item.empty() && (item[0] == '-' || item[0] == '*' || item[0] == 0x2022)) {
    return trimmed(std::u32string_view(item).substr(1));
  }
  return item;
}

std::vector<std::u32string> listItems(std::string_view selection) {
  const std::u32string text = codePointsOf(selection);
  std::vector<std::u32string> items;
  auto split = [&](auto isSeparator, bool keepSeparator) {
    items.clear();
    std::u32string current;
    for (char32_t c : text) {
      if (isSeparator(c)) {
        if (keepSeparator && c != ',' && c != 0xff0c && c != 0x3001 && c != ';' && c != 0xff1b) {
          current += c;
        }
        if (auto item = withoutMarker(trimmed(current)); !item.empty()) items.push_back(item);
        current.clear();
      } else {
        current += c;
      }
    }
    if (auto item = withoutMarker(trimmed(current)); !item.empty()) items.push_back(item);
  };
  split([](char32_t c) { return c == '\n'; }, false);
  if (items.size() <= 1) {
    split(
        [](char32_t c) {
          return c == ',' || c == ';' || c == 0xff0c || c == 0x3001 || c == 0xff1b || c == 0x3002 ||
                 c == 0xff01 || c == 0xff1f;
        },
        true);
  }
  return items;
}

std::string formatList(std::string_view selection, SpokenTaskKind kind) {
  std::u32string out;
  int number = 1;
  for (const auto& item : listItems(selection)) {
    if (!out.empty()) out += '\n';
    if (kind == SpokenTaskKind::numberedList) {
      for (char c : std::to_string(number++) + ". ") out += static_cast<char32_t>(c);
    } else {
      out += U"\u2022 ";
    }
    out += item;
  }
  return utf8Of(out);
}

}  // namespace

std::variant<SpokenTaskKind, SpokenTaskFailure> interpretInstruction(
    std::string_view instruction, const ChineseConverter& converter) {
  const std::string text = comparable(instruction, converter);
  std::optional<SpokenTaskKind> found;
  for (const auto& [kind, phrase] : keyPhrases) {
    if (text.find(phrase) == std::string::npos) continue;
    if (found && *found != kind) return SpokenTaskFailure::ambiguousInstruction;
    found = kind;
  }
  if (!found) return SpokenTaskFailure::unsupportedInstruction;
  return *found;
}

std::string applySpokenTask(SpokenTaskKind kind, std::string_view selection,
                            const ChineseConverter& converter) {
  switch (kind) {
    case SpokenTaskKind::upperCase:
    case SpokenTaskKind::lowerCase:
      return changeCase(selection, kind);
    case SpokenTaskKind::traditional:
      return converter.toTraditional(selection);
    case SpokenTaskKind::simplified:
      return converter.toSimplified(selection);
    case SpokenTaskKind::numberedList:
    case SpokenTaskKind::bulletedList:
      return formatList(selection, kind);
    case SpokenTaskKind::deletion:
      return {};
  }
  return std::string(selection);
}

}  // namespace wrenly::speech
