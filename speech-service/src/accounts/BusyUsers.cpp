#include "accounts/BusyUsers.h"

namespace wrenly::speech {

std::optional<BusyUsers::Slot> BusyUsers::claim(AccountID account, std::string_view requestID,
                                                std::string_view recoversFrom,
                                                std::function<void()> onSuperseded) {
  std::function<void()> superseded;
  std::uint64_t generation = 0;
  {
    std::lock_guard lock(mutex_);
    auto held = holders_.find(account);
    if (held != holders_.end()) {
      if (recoversFrom.empty() || held->second.requestID != recoversFrom) return std::nullopt;
      superseded = std::move(held->second.onSuperseded);
    }
    generation = nextGeneration_++;
    holders_[account] = Holder{generation, std::string(requestID), std::move(onSuperseded)};
  }
  if (superseded) superseded();
  return Slot(this, account, generation);
}

void BusyUsers::release(AccountID account, std::uint64_t generation) {
  std::lock_guard lock(mutex_);
  auto held = holders_.find(account);
  if (held != holders_.end() && held->second.generation == generation) holders_.erase(held);
}

}  // namespace wrenly::speech
