// Points the diagnostics log of this test program at a fresh folder of its own, before any test
// runs, so tests can read exactly what the program logged.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const bool sandboxed = [] {
  std::string pattern = (std::filesystem::temp_directory_path() / "wrenly-log-XXXXXX").string();
  if (mkdtemp(pattern.data())) setenv("XDG_STATE_HOME", pattern.c_str(), 1);
  return true;
}();

}  // namespace
