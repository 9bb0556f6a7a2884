#include "text/ChineseConverter.h"

#include <opencc/opencc.h>

namespace wrenly::speech {

namespace {
bool opened(opencc_t converter) {
  return converter != reinterpret_cast<opencc_t>(-1);
}
}  // namespace

Expected<std::unique_ptr<ChineseConverter>, StartupError> ChineseConverter::create() {
  opencc_t traditional = opencc_open("s2t.json");
  if (!opened(traditional)) {
    return StartupError{StartupFailure::textConversion,
                        std::string("OpenCC s2t: ") + opencc_error()};
  }
  opencc_t simplified = opencc_open("t2s.json");
  if (!opened(simplified)) {
    opencc_close(traditional);
    return StartupError{StartupFailure::textConversion,
                        std::string("OpenCC t2s: ") + opencc_error()};
  }
  return std::unique_ptr<ChineseConverter>(new ChineseConverter(traditional, simplified));
}

ChineseConverter::~ChineseConverter() {
  opencc_close(static_cast<opencc_t>(toTraditional_));
  opencc_close(static_cast<opencc_t>(toSimplified_));
}

std::string ChineseConverter::toTraditional(std::string_view text) const {
  return convert(toTraditional_, text);
}

std::string ChineseConverter::toSimplified(std::string_view text) const {
  return convert(toSimplified_, text);
}

std::string ChineseConverter::convert(void* converter, std::string_view text) const {
  if (text.empty()) return {};
  std::lock_guard lock(mutex_);
  char* converted = opencc_convert_utf8(static_cast<opencc_t>(converter), text.data(), text.size());
  if (!converted) return std::string(text);  // never lose the user's text
  std::string result(converted);
  opencc_convert_utf8_free(converted);
  return result;
}

}  // namespace wrenly::speech
