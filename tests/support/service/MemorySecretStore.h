#pragma once

#include <map>
#include <mutex>
#include <utility>

#include "platform/SecretStore.h"

// Secrets in memory, for tests. Failures can be switched on per operation.
class MemorySecretStore final : public SecretStore {
 public:
  SecretLookup lookup(std::string_view service, std::string_view account) override {
    std::lock_guard lock(mutex_);
    if (lookupFailure_) return SecretLookup::failedWith(*lookupFailure_);
    auto it = items_.find({std::string(service), std::string(account)});
    if (it == items_.end()) return SecretLookup::notFound();
    return SecretLookup::found(it->second);
  }
  std::optional<SecretStoreFailure> store(std::string_view service, std::string_view account,
                                          std::string_view secret) override {
    std::lock_guard lock(mutex_);
    if (writeFailure_) return writeFailure_;
    items_.insert_or_assign({std::string(service), std::string(account)}, std::string(secret));
    return std::nullopt;
  }
  std::optional<SecretStoreFailure> remove(std::string_view service,
                                           std::string_view account) override {
    std::lock_guard lock(mutex_);
    if (writeFailure_) return writeFailure_;
    items_.erase({std::string(service), std::string(account)});
    return std::nullopt;
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
  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, std::string> items_;
  std::optional<SecretStoreFailure> lookupFailure_;
  std::optional<SecretStoreFailure> writeFailure_;
};
