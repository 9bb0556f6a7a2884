#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/OwnWords.h"

namespace wrenly {

// The plain-text form of the own words, used for their file in the settings folder and for
// import and export. One entry per line, UTF-8:
//   Kowloon Tong          a word or name
//   github => GitHub      a replacement ("->" and "→" work as well as "=>")
//   嗯 =>                  a replacement by nothing
// Blank lines and lines whose first character is '#' are skipped.
namespace OwnWordsText {

enum class LineFault {
  malformed,  // no text before the arrow, two arrows, control characters or invalid UTF-8
  tooLong,    // a side longer than OwnWords::maximumEntryLength
  overLimit,  // the list already holds as many entries of its kind as it may
};

struct BadLine {
  int number = 0;    // from 1
  std::string text;  // the line as it was, so nothing the user wrote is lost
  LineFault fault = LineFault::malformed;
  friend bool operator==(const BadLine&, const BadLine&) = default;
};

struct Addition {
  OwnWords words;  // the list with the new entries
  int added = 0;   // entries new or changed (a replacement's `to` for a `from` already there)
  std::vector<BadLine> badLines;
};

// Adds the entries of `text` to `list`: an entry already there is skipped, a replacement whose
// `from` is already there takes the new `to`.
Addition add(const OwnWords& list, std::string_view text);

// The line of one entry, as written to the file and shown in the window.
std::string line(const std::string& word);
std::string line(const Replacement& replacement);

// The whole file: `header` (comment lines, each starting with '#'), the replacements, the words,
// then `keptLines` (lines of the file that could not be read, written back as they were).
std::string write(const OwnWords& list, std::string_view header,
                  const std::vector<std::string>& keptLines = {});

// `list` without the entry whose line() is `entryLine`.
OwnWords without(const OwnWords& list, std::string_view entryLine);

}  // namespace OwnWordsText

}  // namespace wrenly
