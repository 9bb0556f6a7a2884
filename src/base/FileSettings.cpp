#include "base/FileSettings.h"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <boost/json/value.hpp>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "base/AtomicFile.h"

namespace wrenly {

namespace fs = std::filesystem;

std::optional<FileSettings::Values> FileSettings::parse(std::string_view text) {
  boost::system::error_code ec;
  auto value = boost::json::parse(text, ec);
  if (ec || !value.is_object()) return std::nullopt;
  Values result;
  for (const auto& [key, v] : value.as_object()) {
    if (v.is_bool()) {
      result.emplace(std::string(key), v.as_bool());
    } else if (v.is_string()) {
      result.emplace(std::string(key), std::string(v.as_string()));
    } else {
      return std::nullopt;
    }
  }
  return result;
}

FileSettings::FileSettings(fs::path file, Reporter report)
    : file_(std::move(file)), report_(std::move(report)) {
  load();
}

fs::path FileSettings::defaultFile() {
  fs::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = fs::path(home) / ".config";
  } else {
    base = fs::temp_directory_path();
  }
  return base / "wrenly" / "settings.json";
}

void FileSettings::load() {
  const auto text = readWholeFile(file_);
  if (!text) return;  // no file yet: empty settings
  if (auto parsed = parse(*text)) {
    values_ = std::move(*parsed);
    return;
  }
  // Keep the unreadable file for the user instead of silently replacing it with defaults.
  const auto aside = moveAside(file_);
  if (report_) {
    report_(aside ? "settings unreadable; moved aside to " + aside->filename().string()
                  : "settings unreadable; left in place, not saved over");
  }
  if (!aside) brokenInPlace_ = true;
}

std::optional<bool> FileSettings::boolValue(std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  if (auto* b = std::get_if<bool>(&it->second)) return *b;
  return std::nullopt;
}

std::optional<std::string> FileSettings::stringValue(std::string_view key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  if (auto* s = std::get_if<std::string>(&it->second)) return *s;
  return std::nullopt;
}

void FileSettings::setBool(std::string_view key, bool value) {
  std::lock_guard lock(mutex_);
  values_.insert_or_assign(std::string(key), value);
  save();
}

void FileSettings::setString(std::string_view key, std::string_view value) {
  std::lock_guard lock(mutex_);
  values_.insert_or_assign(std::string(key), std::string(value));
  save();
}

void FileSettings::remove(std::string_view key) {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return;
  values_.erase(it);
  save();
}

void FileSettings::save() {
  if (brokenInPlace_) return;  // never overwrite a file the user may want back
  boost::json::object object;
  for (const auto& [key, value] : values_) {
    if (auto* b = std::get_if<bool>(&value)) {
      object[key] = *b;
    } else {
      object[key] = std::get<std::string>(value);
    }
  }
  const std::string text = boost::json::serialize(object) + "\n";

  const std::string error = writeFileAtomically(file_, text);
  if (!error.empty() && report_) report_("settings not saved: " + error);
}

}  // namespace wrenly
