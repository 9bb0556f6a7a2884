// Points the diagnostics log of this test program at a fresh folder of its own, before any test
// runs, so tests can read exactly what the program logged. The folder goes when the program
// ends; the log itself is made later and therefore closed before that.
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

struct LogSandbox {
  LogSandbox() {
    std::string pattern = (std::filesystem::temp_directory_path() / "wrenly-log-XXXXXX").string();
    if (mkdtemp(pattern.data())) {
      path = pattern;
      setenv("XDG_STATE_HOME", pattern.c_str(), 1);
    }
  }
  ~LogSandbox() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::filesystem::path path;
};

const LogSandbox sandbox;

}  // namespace
