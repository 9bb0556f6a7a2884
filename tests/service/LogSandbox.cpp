// Points this test program's diagnostics log at a fresh folder before any test runs, so tests
// read exactly what the program logged; the folder goes when the program ends.
#include <cstdlib>
#include <filesystem>

namespace {

struct LogSandbox {
  std::string path = (std::filesystem::temp_directory_path() / "wrenly-log-XXXXXX").string();
  LogSandbox() {
    if (mkdtemp(path.data())) setenv("XDG_STATE_HOME", path.c_str(), 1);
  }
  ~LogSandbox() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
} const sandbox;

}  // namespace
