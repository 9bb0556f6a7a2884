#include "text/SpeechCleanup.h"

#include <unicode/regex.h>

#include <array>
#include <vector>

#include "text/IcuText.h"

namespace wrenly {

using icu::RegexMatcher;
using icu::UnicodeString;
using text_detail::SharedPattern;

namespace {

bool isSpace(char16_t c) {
  return c == u' ';
}
bool isFullWidthComma(char16_t c) {
  return c == u'，';
}
bool isSentenceEnd(char16_t c) {
  return c == u'。' || c == u'！' || c == u'？';
}
bool isTidyMark(char16_t c) {
  return UnicodeString(u"，。！？、；：,.!?").indexOf(c) >= 0;
}

bool hasPairWhere(const UnicodeString& text, bool (*first)(char16_t), bool (*second)(char16_t)) {
  for (int32_t i = 0; i + 1 < text.length(); ++i) {
    if (first(text[i]) && second(text[i + 1])) return true;
  }
  return false;
}

bool contains(const UnicodeString& text, const char16_t* part) {
  return text.indexOf(UnicodeString(part)) >= 0;
}

// Each step carries a cheap test that is true whenever its pattern can match, so the many short
// items of a long list skip the regex passes that would change nothing.
struct Replacement {
  SharedPattern pattern;
  UnicodeString with;
  bool (*mayMatch)(const UnicodeString&);
};

struct Patterns {
  std::array<Replacement, 8> tidySteps{{
      {SharedPattern(u"\\r\\n?"), u"\n", [](auto& t) { return t.indexOf(u'\r') >= 0; }},
      {SharedPattern(u"[\\t ]+"), u" ",
       [](auto& t) { return t.indexOf(u'\t') >= 0 || contains(t, u"  "); }},
      {SharedPattern(u" *\n *"), u"\n",
       [](auto& t) { return contains(t, u" \n") || contains(t, u"\n "); }},
      {SharedPattern(u"\n{3,}"), u"\n\n", [](auto& t) { return contains(t, u"\n\n\n"); }},
      {SharedPattern(u" +([，。！？、；：,.!?])"), u"$1",
       [](auto& t) { return hasPairWhere(t, isSpace, isTidyMark); }},
      {SharedPattern(u"，+"), u"，", [](auto& t) { return contains(t, u"，，"); }},
      {SharedPattern(u"。+"), u"。", [](auto& t) { return contains(t, u"。。"); }},
      {SharedPattern(u"，([。！？])"), u"$1",
       [](auto& t) { return hasPairWhere(t, isFullWidthComma, isSentenceEnd); }},
  }};
  SharedPattern numberedLine{u"^\\d+[.．]\\s*\\S"};
  std::array<SharedPattern, 3> markers{{
      SharedPattern(u"第[一二三四五六七八九十]+(?:點|点|樣|样|項|项)?"),
      SharedPattern(u"(?:^|[，。；、\\s])[一二三四五六七八九十]、"),
      // A full stop followed by a digit is a decimal or a time (1.5, 3.30), not a marker.
      SharedPattern(u"(?:^|\\s)\\d{1,2}(?:[.．](?!\\d)|、)\\s*"),
  }};
};

const Patterns& patterns() {
  static const Patterns compiled;
  return compiled;
}

UnicodeString replaceAll(const UnicodeString& text, const Replacement& step) {
  if (!step.mayMatch(text)) return text;
  RegexMatcher* matcher = step.pattern.matcher(text);
  if (matcher == nullptr) return text;
  UErrorCode status = U_ZERO_ERROR;
  if (!matcher->find(status)) return text;
  UnicodeString result;
  do {
    matcher->appendReplacement(result, step.with, status);
  } while (U_SUCCESS(status) && matcher->find(status));
  matcher->appendTail(result);
  return U_SUCCESS(status) ? result : text;
}

bool isLeadingMark(UChar32 c) {
  switch (c) {
    case u'，':
    case u'。':
    case u'！':
    case u'？':
    case u'、':
    case u'；':
    case u'：':
    case u',':
    case u'.':
    case u'!':
    case u'?':
    case u' ':
      return true;
    default:
      return false;
  }
}

bool isItemMark(UChar32 c) {
  switch (c) {
    case u'，':
    case u'。':
    case u'；':
    case u'、':
    case u'：':
    case u':':
    case u'！':
    case u'？':
    case u',':
    case u'.':
    case u'!':
    case u'?':
      return true;
    default:
      return false;
  }
}

UnicodeString tidyText(const UnicodeString& input) {
  UnicodeString text = input;
  for (const auto& step : patterns().tidySteps) text = replaceAll(text, step);
  text = text_detail::trimmedWhiteSpace(text);
  // Leading marks go one user-perceived character at a time: a mark carrying a combining
  // accent is a different character and stays.
  int32_t start = 0;
  while (start < text.length()) {
    const UChar32 c = text.char32At(start);
    const int32_t length = U16_LENGTH(c);
    if (!isLeadingMark(c) || !text_detail::standsAlone(text, start, length)) break;
    start += length;
  }
  return text_detail::trimmedWhiteSpace(UnicodeString(text, start));
}

UnicodeString itemText(const UnicodeString& span) {
  return text_detail::trimmed(tidyText(span), isItemMark);
}

// `matcher` is set to search `text`.
std::optional<UnicodeString> splitText(const UnicodeString& text, RegexMatcher* matcher) {
  if (matcher == nullptr) return std::nullopt;
  struct Span {
    int32_t start;
    int32_t end;
  };
  std::vector<Span> matches;
  UErrorCode status = U_ZERO_ERROR;
  while (matcher->find(status) && U_SUCCESS(status)) {
    matches.push_back({matcher->start(status), matcher->end(status)});
  }
  if (U_FAILURE(status) || matches.size() < 2) return std::nullopt;

  UnicodeString leadIn;
  if (matches.front().start > 0) leadIn = itemText(UnicodeString(text, 0, matches.front().start));

  std::vector<UnicodeString> items;
  for (size_t k = 0; k < matches.size(); ++k) {
    const int32_t from = matches[k].end;
    const int32_t to = k + 1 < matches.size() ? matches[k + 1].start : text.length();
    if (to < from) continue;
    UnicodeString item = itemText(UnicodeString(text, from, to - from));
    if (!item.isEmpty()) items.push_back(std::move(item));
  }
  if (items.size() < 2) return std::nullopt;

  UnicodeString result;
  if (!leadIn.isEmpty()) result.append(leadIn);
  for (size_t k = 0; k < items.size(); ++k) {
    if (!result.isEmpty()) result.append(u'\n');
    result.append(UnicodeString::fromUTF8(std::to_string(k + 1))).append(u". ").append(items[k]);
  }
  return result;
}

// Lines end at LF, CR LF or a lone CR.
int countNumberedLines(const UnicodeString& text) {
  RegexMatcher* matcher = patterns().numberedLine.matcher(text);
  if (matcher == nullptr) return 0;
  int count = 0;
  int32_t lineStart = 0;
  while (lineStart <= text.length()) {
    int32_t lineEnd = lineStart;
    while (lineEnd < text.length() && text[lineEnd] != u'\n' && text[lineEnd] != u'\r') ++lineEnd;
    UErrorCode status = U_ZERO_ERROR;
    matcher->region(lineStart, lineEnd, status);
    if (U_SUCCESS(status) && matcher->find(status) && U_SUCCESS(status)) ++count;
    if (lineEnd == text.length()) break;
    lineStart = lineEnd + 1;
    if (text[lineEnd] == u'\r' && lineStart < text.length() && text[lineStart] == u'\n') {
      ++lineStart;
    }
  }
  return count;
}

}  // namespace

namespace SpeechCleanup {

std::string tidy(std::string_view text) {
  return text_detail::toUtf8(tidyText(text_detail::fromUtf8(text)));
}

std::string formatList(std::string_view text) {
  const UnicodeString trimmed = text_detail::trimmedWhiteSpace(text_detail::fromUtf8(text));
  if (countNumberedLines(trimmed) >= 2) return text_detail::toUtf8(trimmed);
  for (const auto& marker : patterns().markers) {
    if (auto list = splitText(trimmed, marker.matcher(trimmed))) return text_detail::toUtf8(*list);
  }
  return text_detail::toUtf8(trimmed);
}

std::optional<std::string> split(std::string_view text, std::string_view pattern) {
  const SharedPattern compiled(text_detail::fromUtf8(pattern));
  if (compiled.get() == nullptr) return std::nullopt;
  const UnicodeString input = text_detail::fromUtf8(text);
  auto list = splitText(input, text_detail::matcherFor(*compiled.get(), input).get());
  if (!list) return std::nullopt;
  return text_detail::toUtf8(*list);
}

}  // namespace SpeechCleanup

}  // namespace wrenly
