#include "base/FileHistoryStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace wrenly {

namespace fs = std::filesystem;

namespace {

// Field names of the file; installed copies read them back, so they never change.
constexpr std::string_view entriesField = "entries";
constexpr std::string_view textField = "text";
constexpr std::string_view timeField = "time";  // seconds since 1970, UTC
constexpr std::string_view applicationField = "application";

bool writeAll(int fd, const std::string& data) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

FileHistoryStore::FileHistoryStore(fs::path file, Reporter report)
    : file_(std::move(file)), report_(std::move(report)) {}

std::optional<std::vector<HistoryEntry>> FileHistoryStore::parse(std::string_view text) {
  boost::system::error_code ec;
  const auto value = boost::json::parse(text, ec);
  if (ec || !value.is_object()) return std::nullopt;
  const auto* list = value.as_object().if_contains(entriesField);
  if (!list || !list->is_array()) return std::nullopt;
  std::vector<HistoryEntry> entries;
  for (const auto& item : list->as_array()) {
    const auto* object = item.if_object();
    if (!object) return std::nullopt;
    const auto* said = object->if_contains(textField);
    const auto* time = object->if_contains(timeField);
    const auto* application = object->if_contains(applicationField);
    if (!said || !said->is_string() || !time || !time->is_int64() ||
        (application && !application->is_string())) {
      return std::nullopt;
    }
    HistoryEntry entry;
    entry.text = std::string(said->as_string());
    entry.time = std::chrono::system_clock::time_point(std::chrono::seconds(time->as_int64()));
    if (application) entry.application = std::string(application->as_string());
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<HistoryEntry> FileHistoryStore::load() {
  std::ifstream in(file_, std::ios::binary);
  if (!in) return {};
  std::stringstream buffer;
  buffer << in.rdbuf();
  if (auto entries = parse(buffer.str())) return std::move(*entries);
  // Kept for the user, as an unreadable settings file is.
  const auto stamp = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
  fs::path aside = file_;
  aside += ".broken-" + std::to_string(stamp);
  std::error_code failed;
  fs::rename(file_, aside, failed);
  if (report_) {
    report_(failed ? "history unreadable; left in place, not saved over"
                   : "history unreadable; moved aside to " + aside.filename().string());
  }
  brokenInPlace_ = static_cast<bool>(failed);
  return {};
}

void FileHistoryStore::save(const std::vector<HistoryEntry>& entries) {
  if (brokenInPlace_) return;
  boost::json::array list;
  for (const auto& entry : entries) {
    boost::json::object object;
    object[textField] = entry.text;
    object[timeField] =
        std::chrono::duration_cast<std::chrono::seconds>(entry.time.time_since_epoch()).count();
    object[applicationField] = entry.application;
    list.push_back(std::move(object));
  }
  boost::json::object document;
  document[entriesField] = std::move(list);
  const std::string text = boost::json::serialize(document) + "\n";

  std::error_code ignored;
  fs::create_directories(file_.parent_path(), ignored);
  fs::path temporary = file_;
  temporary += ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (report_) report_(std::string("history not saved: ") + std::strerror(errno));
    return;
  }
  bool ok = writeAll(fd, text) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temporary.c_str(), file_.c_str()) == 0) return;
  const int error = errno;
  ::unlink(temporary.c_str());
  if (report_) report_(std::string("history not saved: ") + std::strerror(error));
}

void FileHistoryStore::erase() {
  // A file set aside as unreadable is the user's to delete; only ours goes.
  if (brokenInPlace_) return;
  if (::unlink(file_.c_str()) != 0 && errno != ENOENT && report_) {
    report_(std::string("history not removed: ") + std::strerror(errno));
  }
}

}  // namespace wrenly
