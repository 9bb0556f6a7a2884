#include "text/TextCleanup.h"

#include <vector>

#include "text/ChineseConverter.h"
#include "text/Utf8Text.h"

namespace wrenly::speech {

namespace {

bool isLatinLetter(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= 0xc0 && c <= 0x24f);
}
bool isDigit(char32_t c) {
  return c >= '0' && c <= '9';
}
bool isClosing(char32_t c) {
  return c == ',' || c == '.' || c == '!' || c == '?' || c == ';' || c == ':' || c == ')' ||
         c == ']';
}
bool endsSentence(char32_t c) {
  return c == '.' || c == '!' || c == '?' || c == 0x3002 || c == 0xff01 || c == 0xff1f;
}
char32_t fullWidth(char32_t c) {
  switch (c) {
    case ',':
      return 0xff0c;
    case '!':
      return 0xff01;
    case '?':
      return 0xff1f;
    case ';':
      return 0xff1b;
    case ':':
      return 0xff1a;
    default:
      return c;
  }
}
char32_t upper(char32_t c) {
  return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// One line with its spaces collapsed and trimmed.
std::u32string collapse(std::u32string_view line) {
  std::u32string out;
  for (char32_t c : line) {
    if (isSpace(c)) {
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  if (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::u32string tidyLine(std::u32string_view collapsed) {
  std::u32string out;
  for (size_t i = 0; i < collapsed.size(); ++i) {
    char32_t c = collapsed[i];
    const char32_t next = i + 1 < collapsed.size() ? collapsed[i + 1] : 0;
    if (c == ' ') {
      const char32_t before = out.empty() ? 0 : out.back();
      if ((isCjk(before) && isCjk(next)) || isCjkPunctuation(before) || isCjkPunctuation(next) ||
          isClosing(next) || before == '(' || before == '[') {
        continue;
      }
    } else if (!out.empty() && isHan(out.back()) && fullWidth(c) != c) {
      c = fullWidth(c);
    }
    out += c;
    if ((c == ',' || c == ';' || c == '!' || c == '?') && isLatinLetter(next)) out += ' ';
  }
  // Capitals at the start of each English sentence, and the pronoun "i".
  bool sentenceStart = true;
  for (size_t i = 0; i < out.size(); ++i) {
    const char32_t c = out[i];
    if (isLatinLetter(c)) {
      const bool wordStart = i == 0 || !isLatinLetter(out[i - 1]);
      const bool wordEnd = i + 1 == out.size() || !isLatinLetter(out[i + 1]);
      if ((sentenceStart && wordStart) || (c == 'i' && wordStart && wordEnd)) out[i] = upper(c);
      sentenceStart = false;
    } else if (endsSentence(c)) {
      sentenceStart = true;
    } else if (isHan(c) || isDigit(c)) {
      sentenceStart = false;
    }
  }
  return out;
}

}  // namespace

std::string tidyTranscript(std::string_view text, const ChineseConverter& converter) {
  const std::u32string points = codePointsOf(text);
  std::vector<std::u32string> lines;
  size_t start = 0;
  for (size_t i = 0; i <= points.size(); ++i) {
    if (i == points.size() || points[i] == '\n') {
      std::u32string line =
          tidyLine(collapse(std::u32string_view(points).substr(start, i - start)));
      if (!line.empty() || (!lines.empty() && !lines.back().empty()))
        lines.push_back(std::move(line));
      start = i + 1;
    }
  }
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.size() == 1) {
    std::u32string& line = lines.front();
    const char32_t last = line.back();
    if (isLatinLetter(last) || isDigit(last)) line += '.';
    if (isHan(last)) line += U'\u3002';
  }
  std::u32string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) joined += '\n';
    joined += lines[i];
  }
  return converter.toTraditional(utf8Of(joined));
}

}  // namespace wrenly::speech
