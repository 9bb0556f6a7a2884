#include "base/FileWordStore.h"

#include <fstream>
#include <sstream>

#include "base/AtomicFile.h"

namespace wrenly {

FileWordStore::FileWordStore(std::filesystem::path file, Reporter report)
    : file_(std::move(file)), report_(std::move(report)) {}

std::filesystem::path FileWordStore::besideSettings(const std::filesystem::path& settingsFile) {
  return settingsFile.parent_path() / "words.txt";
}

std::optional<std::string> FileWordStore::read() const {
  std::lock_guard lock(mutex_);
  std::error_code ec;
  if (!std::filesystem::exists(file_, ec) && !ec) return std::nullopt;
  std::ifstream in(file_, std::ios::binary);
  std::stringstream buffer;
  if (in) buffer << in.rdbuf();
  if (!in || in.bad()) {
    unreadable_ = true;
    if (report_) report_("own words unreadable; left in place, not saved over");
    return std::nullopt;
  }
  return buffer.str();
}

bool FileWordStore::write(std::string_view text) {
  std::lock_guard lock(mutex_);
  if (unreadable_) return false;
  const std::string error = writeFileAtomically(file_, text);
  if (!error.empty() && report_) report_("own words not saved: " + error);
  return error.empty();
}

}  // namespace wrenly
