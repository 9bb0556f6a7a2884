// Feeds arbitrary frames to the reader of the speech service's streaming messages and checks
// what it promises: no crash, no result before the finish frame, no blank result, and only
// service codes that are safe to log.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "streaming/StreamMessage.h"

using namespace wrenly;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool safeCode(const std::string& code) {
  if (code.size() > 80) return false;
  for (char c : code) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (bool finishSent : {false, true}) {
    StreamEvent event = interpretStreamMessage(bytes, finishSent);
    if (auto* result = std::get_if<LiveRecognitionResult>(&event)) {
      check(finishSent);
      check(!isBlank(result->transcript) && !isBlank(result->text));
    }
    if (auto* failure = std::get_if<StreamServiceFailure>(&event)) {
      check(safeCode(failure->code));
    }
  }
  return 0;
}
