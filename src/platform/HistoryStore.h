#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace wrenly {

// One finished dictation as the history keeps it.
struct HistoryEntry {
  std::uint64_t id = 0;  // this run's handle for the entry; never stored
  std::string text;
  std::chrono::system_clock::time_point time;
  std::string application;  // the desktop's id of the target application; empty when unknown

  friend bool operator==(const HistoryEntry&, const HistoryEntry&) = default;
};

// Where the history is kept across restarts, when the user asks for that. Called on the main
// loop only. Entries come and go newest first; ids are not kept.
class HistoryStore {
 public:
  virtual ~HistoryStore() = default;
  // What was kept; nothing when nothing was, or when what was kept cannot be read.
  virtual std::vector<HistoryEntry> load() = 0;
  virtual void save(const std::vector<HistoryEntry>& entries) = 0;
  // Nothing is kept afterwards.
  virtual void erase() = 0;
};

}  // namespace wrenly
