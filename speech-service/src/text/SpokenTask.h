#pragma once

#include <string>
#include <string_view>
#include <variant>

namespace wrenly::speech {

class ChineseConverter;

// The spoken instructions "selectedVoiceTask" can carry out on a selection. An instruction is
// recognised by a key phrase anywhere in it, in English or Chinese (either script), ignoring
// case, spaces and punctuation:
//   upperCase     "upper case", "uppercase", "all caps", "capital letters", "大寫"
//   lowerCase     "lower case", "lowercase", "small letters", "小寫"
//   traditional   "traditional", "繁體"
//   simplified    "simplified", "簡體"
//   numberedList  "numbered list", "number list", "numbered", "編號", "數字列表", "有序列表"
//   bulletedList  "bulleted list", "bullet list", "bullet points", "bullets", "項目符號",
//                 "列點", "無序列表"
//   deletion      "delete", "remove", "erase", "刪除", "刪掉", "刪去"
enum class SpokenTaskKind {
  upperCase,
  lowerCase,
  traditional,
  simplified,
  numberedList,
  bulletedList,
  deletion
};

enum class SpokenTaskFailure {
  unsupportedInstruction,  // no key phrase matched
  ambiguousInstruction,    // key phrases of two different tasks matched
};

std::variant<SpokenTaskKind, SpokenTaskFailure> interpretInstruction(
    std::string_view instruction, const ChineseConverter& converter);

// The selection rewritten by `kind`. Lists take one item per line, or, for a single line, one
// per comma or sentence; any numbers or bullets the items had are replaced.
std::string applySpokenTask(SpokenTaskKind kind, std::string_view selection,
                            const ChineseConverter& converter);

}  // namespace wrenly::speech
