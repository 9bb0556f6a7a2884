#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/ReportableError.h"

namespace wrenly {

// Why the secret store could not do what was asked.
enum class SecretStoreFailure {
  unavailable,  // no secret service reachable (no bus, nothing answering the name)
  locked,       // the collection or item is locked and could not be unlocked unattended
  timedOut,     // the service did not answer within the store's time bound
  failed,       // any other refusal of the service
};

// The log's code of each failure (EnumeratedError), fixed whatever the order of the cases.
constexpr int logCode(SecretStoreFailure failure) {
  switch (failure) {
    case SecretStoreFailure::unavailable:
      return 0;
    case SecretStoreFailure::locked:
      return 1;
    case SecretStoreFailure::timedOut:
      return 2;
    case SecretStoreFailure::failed:
      return 3;
  }
  return -1;
}

// A secret store failure where a caller must give up; says which way the keyring failed.
class SecretStoreError final : public EnumeratedError<SecretStoreFailure> {
 public:
  using EnumeratedError::EnumeratedError;
};

// The outcome of a look-up: the secret, nothing stored, or a failure to ask.
class SecretLookup {
 public:
  static SecretLookup found(std::string secret) { return SecretLookup(std::move(secret), {}); }
  static SecretLookup notFound() { return SecretLookup({}, {}); }
  static SecretLookup failedWith(SecretStoreFailure failure) { return SecretLookup({}, failure); }

  const std::optional<std::string>& secret() const { return secret_; }
  const std::optional<SecretStoreFailure>& failure() const { return failure_; }

 private:
  SecretLookup(std::optional<std::string> secret, std::optional<SecretStoreFailure> failure)
      : secret_(std::move(secret)), failure_(failure) {}
  std::optional<std::string> secret_;
  std::optional<SecretStoreFailure> failure_;
};

// The user's secret storage: one secret per (service, account) pair. Every call blocks the
// calling thread, but only for a bounded time, and may be made from any thread (never from the
// main loop without accepting that bound).
class SecretStore {
 public:
  virtual ~SecretStore() = default;

  virtual SecretLookup lookup(std::string_view service, std::string_view account) = 0;

  // Stores `secret` under the pair, replacing an existing one in place. Empty on success.
  virtual std::optional<SecretStoreFailure> store(std::string_view service,
                                                  std::string_view account,
                                                  std::string_view secret) = 0;

  // Deletes the secret of the pair; deleting what is not there succeeds. Empty on success.
  virtual std::optional<SecretStoreFailure> remove(std::string_view service,
                                                   std::string_view account) = 0;
};

}  // namespace wrenly
