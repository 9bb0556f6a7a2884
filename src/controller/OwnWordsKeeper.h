#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "controller/ControllerContext.h"
#include "text/OwnWords.h"

namespace wrenly {

// The user's own words as the controller keeps them: read from the platform's word store when
// the controller is made, changed from the window, written back after every change. The list
// is published in the state; what a change did is its note. Nothing of it is ever logged.
class OwnWordsKeeper {
 public:
  explicit OwnWordsKeeper(ControllerContext& context);

  // Entries in the words file's form: typed in the window (`fromFile` false), or the text of an
  // imported file, whose bad lines the note names by number.
  void add(std::string_view text, bool fromFile);
  // Drops the entry whose line (OwnWordsText::line) is `entryLine`.
  void remove(std::string_view entryLine);

 private:
  void keep(OwnWords words);

  ControllerContext& context_;
  // Lines of the stored file that could not be read: written back as they were.
  std::vector<std::string> unread_;
};

}  // namespace wrenly
