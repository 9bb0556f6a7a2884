#include "controller/DictationHistory.h"

#include <algorithm>

#include "base/StoredNames.h"
#include "platform/Settings.h"

namespace wrenly {

DictationHistory::DictationHistory(Settings& settings, HistoryStore* store)
    : settings_(settings), store_(store) {
  keptOnDisk_ = settings_.boolValue(StoredNames::historyOnDiskKey).value_or(false);
  if (keptOnDisk_ && store_) adopt(store_->load());
}

const HistoryEntry* DictationHistory::find(std::uint64_t id) const {
  const auto found = std::ranges::find(entries_, id, &HistoryEntry::id);
  return found == entries_.end() ? nullptr : &*found;
}

void DictationHistory::add(HistoryEntry entry) {
  entry.id = nextID_++;
  entries_.insert(entries_.begin(), std::move(entry));
  if (entries_.size() > limit) entries_.resize(limit);
  save();
}

void DictationHistory::clear() {
  entries_.clear();
  // Also with the setting off: a file left from before must not outlive "clear".
  if (store_) store_->erase();
}

void DictationHistory::keepOnDisk(bool keep) {
  if (keep == keptOnDisk_) return;
  keptOnDisk_ = keep;
  settings_.setBool(StoredNames::historyOnDiskKey, keep);
  if (!store_) return;
  if (keep) {
    save();
  } else {
    store_->erase();
  }
}

void DictationHistory::adopt(std::vector<HistoryEntry> entries) {
  if (entries.size() > limit) entries.resize(limit);
  for (auto& entry : entries) entry.id = nextID_++;
  entries_ = std::move(entries);
}

void DictationHistory::save() {
  if (keptOnDisk_ && store_) store_->save(entries_);
}

}  // namespace wrenly
