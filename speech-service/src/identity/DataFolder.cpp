#include "identity/DataFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace wrenly::speech {

std::optional<std::filesystem::path> defaultDataFolder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
    return std::filesystem::path(data) / "wrenly-speech-service";
  }
  const char* home = std::getenv("HOME");
  if (!home || *home != '/') return std::nullopt;
  return std::filesystem::path(home) / ".local/share/wrenly-speech-service";
}

std::optional<std::filesystem::path> defaultRuntimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || *runtime != '/') return std::nullopt;
  return std::filesystem::path(runtime) / "wrenly";
}

Expected<std::filesystem::path, StartupError> prepareRuntimeFolder() {
  auto folder = defaultRuntimeFolder();
  if (!folder) {
    return StartupError{StartupFailure::dataFolder,
                        "XDG_RUNTIME_DIR is not set; give --listen to serve every user on a port"};
  }
  return prepareDataFolder(folder);
}

Expected<std::filesystem::path, StartupError> prepareDataFolder(
    std::optional<std::filesystem::path> option) {
  if (!option) option = defaultDataFolder();
  if (!option) {
    return StartupError{StartupFailure::dataFolder,
                        "neither HOME nor XDG_DATA_HOME is set; give --data-dir"};
  }
  const std::filesystem::path folder = std::filesystem::absolute(*option);
  const auto refuse = [&](const std::string& why) {
    return StartupError{StartupFailure::dataFolder, folder.string() + ": " + why};
  };
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return refuse(ec.message());
  // Checked and made private through one descriptor, so the folder cannot be swapped between
  // the check and the change.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return refuse(errno == ELOOP ? "is a symbolic link" : std::strerror(errno));
  struct stat status {};
  const bool owned = ::fstat(fd, &status) == 0 && status.st_uid == ::geteuid();
  const bool privateNow = owned && ::fchmod(fd, 0700) == 0;
  ::close(fd);
  if (!owned) return refuse("belongs to another user");
  if (!privateNow) return refuse(std::strerror(errno));
  return folder;
}

bool writePrivateFile(const std::filesystem::path& file, std::string_view content) {
  const std::filesystem::path partial = file.string() + ".partial";
  ::unlink(partial.c_str());  // a leftover, or a link planted there: removed, never followed
  int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
