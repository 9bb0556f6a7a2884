#include "streaming/StreamTrust.h"

#include <cstdlib>

namespace wrenly {

StreamTrust StreamTrust::fromEnvironment() {
  StreamTrust trust;
  if (const char* file = std::getenv("WRENLY_CA_FILE"); file && *file) {
    trust.extraAuthorities = std::filesystem::path(file);
  }
  return trust;
}

}  // namespace wrenly
