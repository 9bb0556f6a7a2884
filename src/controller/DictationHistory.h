#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/HistoryStore.h"

namespace wrenly {

class Settings;

// The last dictations' texts, newest first and at most `limit` of them: in memory, and on disk
// as well while the user's setting says so. Used on the main loop only.
class DictationHistory {
 public:
  static constexpr std::size_t limit = 20;

  // Reads the setting and, when it is on, what was kept. Without a store the history lives in
  // memory only, whatever the setting says.
  DictationHistory(Settings& settings, HistoryStore* store);

  const std::vector<HistoryEntry>& entries() const { return entries_; }
  bool keptOnDisk() const { return keptOnDisk_; }
  const HistoryEntry* find(std::uint64_t id) const;

  // Adds `entry` in front, with an id of its own; the oldest goes past the limit.
  void add(HistoryEntry entry);
  // Empties memory and disk.
  void clear();
  // Turning it on writes what there is now; turning it off removes the file, not the entries.
  void keepOnDisk(bool keep);

 private:
  void adopt(std::vector<HistoryEntry> entries);
  void save();

  Settings& settings_;
  HistoryStore* store_;
  std::vector<HistoryEntry> entries_;
  bool keptOnDisk_ = false;
  std::uint64_t nextID_ = 1;
};

}  // namespace wrenly
