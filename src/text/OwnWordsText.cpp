#include "text/OwnWordsText.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <optional>
#include <variant>

namespace wrenly::OwnWordsText {

namespace {

constexpr std::string_view arrow = " => ";
constexpr std::array<std::string_view, 3> arrows{"=>", "->", "\u2192"};

// Code points of valid UTF-8 without control characters, or none.
std::optional<std::size_t> checkedLength(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  std::size_t count = 0;
  for (int32_t offset = 0; offset < length; ++count) {
    UChar32 c;
    U8_NEXT(bytes, offset, length, c);
    if (c < 0 || u_iscntrl(c)) return std::nullopt;
  }
  return count;
}

std::string_view trimmed(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  auto start = 0;
  auto end = static_cast<int32_t>(text.size());
  while (start < end) {
    UChar32 c;
    int32_t next = start;
    U8_NEXT(bytes, next, end, c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    start = next;
  }
  while (end > start) {
    UChar32 c;
    int32_t previous = end;
    U8_PREV(bytes, start, previous, c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    end = previous;
  }
  return text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start));
}

using Entry = std::variant<std::string, Replacement>;

// One line's entry, none for a blank or comment line, or the reason it cannot be read.
std::variant<std::monostate, Entry, LineFault> readLine(std::string_view raw) {
  const std::string_view text = trimmed(raw);
  if (text.empty() || text.front() == '#') return std::monostate{};
  std::optional<std::pair<size_t, size_t>> split;  // position and length of the arrow
  for (std::string_view mark : arrows) {
    for (size_t at = text.find(mark); at != std::string_view::npos; at = text.find(mark, at + 1)) {
      if (split) return LineFault::malformed;
      split = {at, mark.size()};
    }
  }
  const std::string_view from = split ? trimmed(text.substr(0, split->first)) : text;
  const std::string_view to = split ? trimmed(text.substr(split->first + split->second)) : "";
  const auto fromLength = checkedLength(from);
  const auto toLength = checkedLength(to);
  if (from.empty() || !fromLength || !toLength) return LineFault::malformed;
  if (std::max(*fromLength, *toLength) > OwnWords::maximumEntryLength) return LineFault::tooLong;
  if (!split) return Entry(std::string(from));
  return Entry(Replacement{std::string(from), std::string(to)});
}

}  // namespace

std::string line(const std::string& word) {
  return word;
}

std::string line(const Replacement& replacement) {
  std::string out = replacement.from + std::string(arrow);
  if (replacement.to.empty()) out.pop_back();
  return out + replacement.to;
}

Addition add(const OwnWords& list, std::string_view text) {
  Addition result{list, 0, {}};
  OwnWords& words = result.words;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark
  int number = 0;
  while (!text.empty() || number == 0) {
    ++number;
    const size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    auto read = readLine(raw);
    std::optional<LineFault> fault;
    if (auto* bad = std::get_if<LineFault>(&read)) {
      fault = *bad;
    } else if (auto* entry = std::get_if<Entry>(&read)) {
      if (auto* word = std::get_if<std::string>(entry)) {
        if (std::ranges::find(words.words, *word) != words.words.end()) continue;
        if (words.words.size() >= OwnWords::maximumWords) {
          fault = LineFault::overLimit;
        } else {
          words.words.push_back(std::move(*word));
          ++result.added;
        }
      } else {
        auto& replacement = std::get<Replacement>(*entry);
        auto same = std::ranges::find(words.replacements, replacement.from, &Replacement::from);
        if (same != words.replacements.end()) {
          if (same->to == replacement.to) continue;
          same->to = std::move(replacement.to);
          ++result.added;
        } else if (words.replacements.size() >= OwnWords::maximumReplacements) {
          fault = LineFault::overLimit;
        } else {
          words.replacements.push_back(std::move(replacement));
          ++result.added;
        }
      }
    }
    if (fault) result.badLines.push_back({number, std::string(raw), *fault});
  }
  return result;
}

std::string write(const OwnWords& list, std::string_view header,
                  const std::vector<std::string>& keptLines) {
  std::string out(header);
  if (!out.empty() && !out.ends_with('\n')) out += '\n';
  for (const Replacement& replacement : list.replacements) out += line(replacement) + "\n";
  for (const std::string& word : list.words) out += line(word) + "\n";
  for (const std::string& kept : keptLines) out += kept + "\n";
  return out;
}

OwnWords without(const OwnWords& list, std::string_view entryLine) {
  OwnWords out = list;
  std::erase_if(out.words, [&](const std::string& word) { return line(word) == entryLine; });
  std::erase_if(out.replacements,
                [&](const Replacement& replacement) { return line(replacement) == entryLine; });
  return out;
}

}  // namespace wrenly::OwnWordsText
