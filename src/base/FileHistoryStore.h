#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/HistoryStore.h"

namespace wrenly {

// The history in a JSON file of its own beside the settings file, readable by the user alone
// and rewritten atomically like it. A file that cannot be read is moved aside, never
// overwritten, and `report` hears about it; nothing of the texts ever goes to `report`.
class FileHistoryStore final : public HistoryStore {
 public:
  using Reporter = std::function<void(const std::string& line)>;

  explicit FileHistoryStore(std::filesystem::path file, Reporter report = {});

  std::vector<HistoryEntry> load() override;
  void save(const std::vector<HistoryEntry>& entries) override;
  void erase() override;

  const std::filesystem::path& file() const { return file_; }

  // The entries of a history file's text; none unless every entry is well formed.
  static std::optional<std::vector<HistoryEntry>> parse(std::string_view text);

 private:
  std::filesystem::path file_;
  Reporter report_;
  bool brokenInPlace_ = false;
};

}  // namespace wrenly
