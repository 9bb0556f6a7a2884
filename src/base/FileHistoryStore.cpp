#include "base/FileHistoryStore.h"

#include "base/AtomicFile.h"

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
    // Times past what the clock can hold (about the year 2262) would overflow it.
    constexpr std::int64_t latestTime = 8'000'000'000;
    if (!said || !said->is_string() || !time || !time->is_int64() || time->as_int64() < 0 ||
        time->as_int64() > latestTime || (application && !application->is_string())) {
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
  const auto text = readWholeFile(file_);
  if (!text) return {};
  if (auto entries = parse(*text)) return std::move(*entries);
  // Kept for the user, as an unreadable settings file is.
  const auto aside = moveAside(file_);
  if (report_) {
    report_(aside ? "history unreadable; moved aside to " + aside->filename().string()
                  : "history unreadable; left in place, not saved over");
  }
  brokenInPlace_ = !aside;
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

  if (const std::string error = writeFileAtomically(file_, text); !error.empty() && report_) {
    report_("history not saved: " + error);
  }
}

void FileHistoryStore::erase() {
  // A file set aside as unreadable is the user's to delete; only ours goes.
  if (brokenInPlace_) return;
  if (::unlink(file_.c_str()) != 0 && errno != ENOENT && report_) {
    report_(std::string("history not removed: ") + std::strerror(errno));
  }
}

}  // namespace wrenly
