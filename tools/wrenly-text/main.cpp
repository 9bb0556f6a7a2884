// wrenly-text: runs the transcript text processing over standard input and prints what the app
// would deliver for it.
#include <unicode/utf8.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

#include "text/ChineseOutput.h"
#include "text/SpeechCleanup.h"

using namespace wrenly;

namespace {

constexpr const char* usage =
    "Usage: wrenly-text [--format-only | --traditional | --help] < text\n"
    "\n"
    "Reads UTF-8 text on standard input and prints what Wrenly would deliver for it:\n"
    "trimmed, spoken enumerations turned into a numbered list, and Traditional Chinese\n"
    "characters where the text shows Simplified characters or written Cantonese.\n"
    "\n"
    "  --format-only   only trim and format lists; keep the script as it is\n"
    "  --traditional   only convert Simplified characters to Traditional ones\n"
    "                  (the text is otherwise written out as it came in)\n"
    "  --help          show this help\n";

enum class Mode { deliver, formatOnly, traditional };

// Everything on standard input, or none after printing why it could not be read.
std::optional<std::string> readStandardInput() {
  std::string input;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got > 0) {
      input.append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
      return input;
    } else if (errno != EINTR) {
      std::fprintf(stderr, "wrenly-text: cannot read standard input: %s\n", std::strerror(errno));
      return std::nullopt;
    }
  }
}

// Byte offset of the first malformed UTF-8 sequence, or none.
std::optional<size_t> firstInvalidByte(std::string_view text) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  const auto length = static_cast<int32_t>(text.size());
  for (int32_t i = 0; i < length;) {
    const int32_t start = i;
    UChar32 c;
    U8_NEXT(bytes, i, length, c);
    if (c < 0) return static_cast<size_t>(start);
  }
  return std::nullopt;
}

bool writeAll(const std::string& output) {
  if (std::fwrite(output.data(), 1, output.size(), stdout) != output.size() ||
      std::fflush(stdout) != 0) {
    std::fprintf(stderr, "wrenly-text: cannot write standard output: %s\n", std::strerror(errno));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Mode mode = Mode::deliver;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(usage, stdout);
      return 0;
    }
    if (option == "--format-only" || option == "--traditional") {
      const Mode chosen = option == "--format-only" ? Mode::formatOnly : Mode::traditional;
      if (mode != Mode::deliver && mode != chosen) {
        std::fputs("wrenly-text: --format-only and --traditional exclude each other\n", stderr);
        return 2;
      }
      mode = chosen;
      continue;
    }
    std::fprintf(stderr, "wrenly-text: unknown option '%s'\n\n%s", argv[i], usage);
    return 2;
  }

  const std::optional<std::string> input = readStandardInput();
  if (!input) return 1;
  if (const auto offset = firstInvalidByte(*input)) {
    std::fprintf(stderr, "wrenly-text: standard input is not valid UTF-8 (byte %zu)\n", *offset);
    return 1;
  }

  std::string output;
  switch (mode) {
    case Mode::traditional:
      output = ChineseScript::traditional(*input);
      break;
    case Mode::formatOnly:
      output = SpeechCleanup::formatList(*input);
      break;
    case Mode::deliver:
      // As the app does: the formatted text is delivered, the raw input is evidence.
      output = ChineseOutput::normalize(SpeechCleanup::formatList(*input), *input);
      break;
  }
  if (mode != Mode::traditional && !output.empty()) output += '\n';
  return writeAll(output) ? 0 : 1;
}
