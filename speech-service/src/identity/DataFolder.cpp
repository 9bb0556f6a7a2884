#include "identity/DataFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace wrenly::speech {

std::filesystem::path defaultDataFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
    return std::filesystem::path(data) / "wrenly-speech-service";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home && *home ? home : "/tmp") /
         ".local/share/wrenly-speech-service";
}

Expected<std::filesystem::path, StartupError> prepareDataFolder(
    std::optional<std::filesystem::path> option) {
  std::filesystem::path folder = option ? *option : defaultDataFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return StartupError{StartupFailure::dataFolder, folder.string() + ": " + ec.message()};
  if (::chmod(folder.c_str(), 0700) != 0) {
    return StartupError{StartupFailure::dataFolder, folder.string() + ": " + std::strerror(errno)};
  }
  return std::filesystem::absolute(folder);
}

bool writePrivateFile(const std::filesystem::path& file, std::string_view content) {
  const std::filesystem::path partial = file.string() + ".partial";
  int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  bool ok = ::fchmod(fd, 0600) == 0;
  for (size_t written = 0; ok && written < content.size();) {
    ssize_t n = ::write(fd, content.data() + written, content.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<size_t>(n);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  ok = ok && std::rename(partial.c_str(), file.c_str()) == 0;
  if (!ok) ::unlink(partial.c_str());
  return ok;
}

}  // namespace wrenly::speech
