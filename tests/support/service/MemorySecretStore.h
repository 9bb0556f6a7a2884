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
    if (lookupFailure_) return SecretLookup::failedWith(*lookupFailure_);
    auto it = items_.find(key(service, account));
    return it == items_.end() ? SecretLookup::notFound() : SecretLookup::found(it->second);
  }
  std::optional<SecretStoreFailure> store(std::string_view service, std::string_view account,
                                          std::string_view secret) override {
    std::lock_guard lock(mutex_);
    if (!writeFailure_) items_.insert_or_assign(key(service, account), std::string(secret));
    return writeFailure_;
  }
  std::optional<SecretStoreFailure> remove(std::string_view service,
                                           std::string_view account) override {
    std::lock_guard lock(mutex_);
    if (!writeFailure_) items_.erase(key(service, account));
    return writeFailure_;
  }

  void failLookups(std::optional<SecretStoreFailure> failure) {
    std::lock_guard lock(mutex_);
    lookupFailure_ = failure;
  }
  void failWrites(std::optional<SecretStoreFailure> failure) {
    std::lock_guard lock(mutex_);
    writeFailure_ = failure;
  }
  size_t size() const {
    std::lock_guard lock(mutex_);
    return items_.size();
  }

 private:
  using Key = std::pair<std::string, std::string>;
  static Key key(std::string_view service, std::string_view account) {
    return {std::string(service), std::string(account)};
  }
  mutable std::mutex mutex_;
  std::map<Key, std::string> items_;
  std::optional<SecretStoreFailure> lookupFailure_;
  std::optional<SecretStoreFailure> writeFailure_;
};

}  // namespace wrenly
