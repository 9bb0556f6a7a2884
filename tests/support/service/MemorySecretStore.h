#pragma once

#include <map>
#include <mutex>
#include <utility>

#include "platform/SecretStore.h"

namespace wrenly {

// Secrets in memory, for tests. Failures can be switched on per operation.
class MemorySecretStore final : public SecretStore {
 public:
  SecretLookup lookup(std::string_view service, std::string_view account) override {
    std::lock_guard lock(mutex_);
    if (lookupFailure) return SecretLookup::failedWith(*lookupFailure);
    auto it = items_.find(Key(service, account));
    return it == items_.end() ? SecretLookup::notFound() : SecretLookup::found(it->second);
  }
  std::optional<SecretStoreFailure> store(std::string_view service, std::string_view account,
                                          std::string_view secret) override {
    std::lock_guard lock(mutex_);
    if (!writeFailure) items_.insert_or_assign(Key(service, account), secret);
    return writeFailure;
  }
  std::optional<SecretStoreFailure> remove(std::string_view service,
                                           std::string_view account) override {
    std::lock_guard lock(mutex_);
    if (!writeFailure) items_.erase(Key(service, account));
    return writeFailure;
  }

  // Set before the calls that should fail, while no call is under way.
  std::optional<SecretStoreFailure> lookupFailure;
  std::optional<SecretStoreFailure> writeFailure;
  size_t size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }

 private:
  using Key = std::pair<std::string, std::string>;
  mutable std::mutex mutex_;
  std::map<Key, std::string> items_;
};

}  // namespace wrenly
