#include "text/ChineseScript.h"

#include <unicode/translit.h>
#include <unicode/uniset.h>

#include <memory>

#include "text/IcuText.h"

namespace wrenly {

namespace {

// Every character on the left side of the transform's rules (keys and contexts), or none when a
// rule uses syntax beyond literal characters, sets of them and context braces. Characters
// outside this set can neither change nor take part in a match, so the transform may skip them:
// that leaves the result as it was and makes Latin and Traditional text several times faster.
std::unique_ptr<icu::UnicodeSet> leftSideCharacters(const icu::Transliterator& transform) {
  icu::UnicodeString rules;
  transform.toRules(rules, false);
  auto characters = std::make_unique<icu::UnicodeSet>();
  const icu::UnicodeString arrow(u" > ");
  int32_t lineStart = 0;
  while (lineStart < rules.length()) {
    int32_t lineEnd = rules.indexOf(u'\n', lineStart);
    if (lineEnd < 0) lineEnd = rules.length();
    const int32_t leftEnd = rules.indexOf(arrow, lineStart, lineEnd - lineStart);
    if (leftEnd < 0) return nullptr;
    for (int32_t i = lineStart; i < leftEnd;) {
      const UChar32 c = rules.char32At(i);
      switch (c) {
        case u'[':
        case u']':
        case u'{':
        case u'}':
          break;
        case u'\\':
        case u'$':
        case u'|':
        case u'-':
        case u'^':
        case u'@':
        case u'&':
        case u':':
        case u' ':
        case u'\'':
        case u'<':
        case u'=':
        case u'>':
        case u'?':
        case u'*':
        case u'+':
        case u'(':
        case u')':
        case u'.':
        case u';':
          return nullptr;
        default:
          characters->add(c);
      }
      i += U16_LENGTH(c);
    }
    lineStart = lineEnd + 1;
  }
  characters->freeze();
  return characters;
}

// Building the transform parses its rules and takes tens of milliseconds, so it happens once. A
// transliterator keeps scratch state while it runs, so every call works on its own clone, which
// costs a fraction of a microsecond.
const icu::Transliterator* prototype() {
  static const std::unique_ptr<icu::Transliterator> shared = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> made(
        icu::Transliterator::createInstance("Hans-Hant", UTRANS_FORWARD, status));
    if (U_FAILURE(status)) {
      made.reset();
    } else if (auto filter = leftSideCharacters(*made)) {
      made->adoptFilter(filter.release());
    }
    return made;
  }();
  return shared.get();
}

}  // namespace

namespace ChineseScript {

std::string traditional(std::string_view text) {
  const icu::Transliterator* shared = prototype();
  if (shared == nullptr) return std::string(text);
  const std::unique_ptr<icu::Transliterator> transliterator(shared->clone());
  if (!transliterator) return std::string(text);
  icu::UnicodeString converted = text_detail::fromUtf8(text);
  transliterator->transliterate(converted);
  return text_detail::toUtf8(converted);
}

}  // namespace ChineseScript

}  // namespace wrenly
