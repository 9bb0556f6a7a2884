#pragma once

#include <filesystem>
#include <functional>
#include <mutex>

#include "platform/WordStore.h"

namespace wrenly {

// The own words in a file of their own beside the settings file (words.txt), mode 0600,
// replaced atomically. A file that is there but cannot be read is never written over.
class FileWordStore final : public WordStore {
 public:
  using Reporter = std::function<void(const std::string& line)>;

  explicit FileWordStore(std::filesystem::path file, Reporter report = {});

  // words.txt in the folder of `settingsFile`.
  static std::filesystem::path besideSettings(const std::filesystem::path& settingsFile);

  std::optional<std::string> read() const override;
  bool write(std::string_view text) override;

 private:
  std::filesystem::path file_;
  Reporter report_;
  mutable std::mutex mutex_;
  mutable bool unreadable_ = false;
};

}  // namespace wrenly
