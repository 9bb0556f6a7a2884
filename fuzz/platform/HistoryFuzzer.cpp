// Feeds arbitrary bytes to the reader of the history file, which a user or another program may
// have edited or truncated.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/FileHistoryStore.h"

using namespace wrenly;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)FileHistoryStore::parse(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
