#include "controller/OwnWordsKeeper.h"

#include "messages/Messages.h"
#include "platform/WordStore.h"
#include "text/OwnWordsText.h"

namespace wrenly {

namespace {

using OwnWordsText::BadLine;
using OwnWordsText::LineFault;

// "3、7、12", at most ten numbers.
std::string lineNumbers(const std::vector<BadLine>& lines, LineFault fault) {
  std::string out;
  int listed = 0;
  for (const BadLine& line : lines) {
    if (line.fault != fault) continue;
    if (listed++ == 10) return out + "…";
    if (!out.empty()) out += "、";
    out += std::to_string(line.number);
  }
  return out;
}

const char* reason(LineFault fault) {
  switch (fault) {
    case LineFault::malformed:
      return Messages::ownWordsMalformed;
    case LineFault::tooLong:
      return Messages::ownWordsTooLong;
    case LineFault::overLimit:
      return Messages::ownWordsOverLimit;
  }
  return Messages::ownWordsMalformed;
}

}  // namespace

OwnWordsKeeper::OwnWordsKeeper(ControllerContext& context) : context_(context) {
  OwnWords words;
  if (WordStore* store = context_.ports.platform.words) {
    if (auto text = store->read()) {
      auto read = OwnWordsText::add({}, *text);
      words = std::move(read.words);
      for (const BadLine& line : read.badLines) unread_.push_back(line.text);
      std::string numbers;
      for (const BadLine& line : read.badLines) {
        numbers += (numbers.empty() ? "" : "、") + std::to_string(line.number);
      }
      if (!numbers.empty()) context_.state.ownWordsNote = Messages::ownWordsFileBadLines(numbers);
    }
  }
  context_.state.ownWords = std::make_shared<const OwnWords>(std::move(words));
}

void OwnWordsKeeper::add(std::string_view text, bool fromFile) {
  ControllerChange change(context_);
  auto addition = OwnWordsText::add(*context_.state.ownWords, text);
  std::string note;
  if (addition.added > 0 || addition.badLines.empty())
    note = Messages::ownWordsAdded(addition.added);
  for (LineFault fault : {LineFault::malformed, LineFault::tooLong, LineFault::overLimit}) {
    const std::string numbers = lineNumbers(addition.badLines, fault);
    if (!numbers.empty()) note += Messages::ownWordsRefused(fromFile ? numbers : "", reason(fault));
  }
  context_.state.ownWordsNote = std::move(note);
  if (addition.added > 0) keep(std::move(addition.words));
}

void OwnWordsKeeper::remove(std::string_view entryLine) {
  ControllerChange change(context_);
  OwnWords rest = OwnWordsText::without(*context_.state.ownWords, entryLine);
  context_.state.ownWordsNote.clear();
  if (rest != *context_.state.ownWords) keep(std::move(rest));
}

void OwnWordsKeeper::keep(OwnWords words) {
  context_.state.ownWords = std::make_shared<const OwnWords>(std::move(words));
  WordStore* store = context_.ports.platform.words;
  if (store && !store->write(OwnWordsText::write(*context_.state.ownWords,
                                                 Messages::ownWordsFileHeader, unread_))) {
    context_.state.ownWordsNote += Messages::ownWordsNotSaved;
  }
}

}  // namespace wrenly
