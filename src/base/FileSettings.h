#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <variant>

#include "platform/Settings.h"

namespace wrenly {

// Settings kept in one JSON file (by default $XDG_CONFIG_HOME/wrenly/settings.json).
// Every change rewrites the file atomically (temporary file, fsync, rename). A file that cannot
// be read as a JSON object of Bool and String values is moved aside, never overwritten, and the
// settings start empty; `report` hears about it once.
class FileSettings final : public Settings {
 public:
  using Reporter = std::function<void(const std::string& line)>;

  explicit FileSettings(std::filesystem::path file, Reporter report = {});

  static std::filesystem::path defaultFile();

  std::optional<bool> boolValue(std::string_view key) const override;
  std::optional<std::string> stringValue(std::string_view key) const override;
  void setBool(std::string_view key, bool value) override;
  void setString(std::string_view key, std::string_view value) override;
  void remove(std::string_view key) override;

  const std::filesystem::path& file() const { return file_; }

  using Value = std::variant<bool, std::string>;
  using Values = std::map<std::string, Value, std::less<>>;
  // The values of a settings file's text; none unless it is a JSON object of Bool and String
  // members.
  static std::optional<Values> parse(std::string_view text);

 private:
  void load();
  void save();  // with mutex_ held

  std::filesystem::path file_;
  Reporter report_;
  mutable std::mutex mutex_;
  Values values_;
  bool brokenInPlace_ = false;
};

}  // namespace wrenly
