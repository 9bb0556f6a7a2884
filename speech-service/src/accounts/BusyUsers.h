#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "accounts/AccountStore.h"

namespace wrenly::speech {

// One piece of work per user at a time. A request that arrives while an earlier one of the
// same account still runs is answered "request_busy", except a recognition that names the
// running stream as the one it recovers from: the client has given that stream up, so the
// stream is told to stop and the recovery takes its place. Thread-safe.
class BusyUsers {
 public:
  class Slot {
   public:
    Slot(Slot&& other) noexcept
        : owner_(std::exchange(other.owner_, nullptr)),
          account_(other.account_),
          generation_(other.generation_) {}
    Slot& operator=(Slot&&) = delete;
    ~Slot() {
      if (owner_) owner_->release(account_, generation_);
    }

   private:
    friend class BusyUsers;
    Slot(BusyUsers* owner, AccountID account, std::uint64_t generation)
        : owner_(owner), account_(account), generation_(generation) {}
    BusyUsers* owner_;
    AccountID account_;
    std::uint64_t generation_;
  };

  // `onSuperseded` runs (under no lock of ours) when a recovery takes the slot over.
  std::optional<Slot> claim(AccountID account, std::string_view requestID,
                            std::string_view recoversFrom, std::function<void()> onSuperseded);

 private:
  struct Holder {
    std::uint64_t generation;
    std::string requestID;
    std::function<void()> onSuperseded;
  };
  void release(AccountID account, std::uint64_t generation);

  std::mutex mutex_;
  std::map<AccountID, Holder> holders_;
  std::uint64_t nextGeneration_ = 1;
};

}  // namespace wrenly::speech
