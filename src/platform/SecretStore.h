#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "diagnostics/ReportableError.h"
#include "messages/Messages.h"

namespace wrenly {

// Why the secret store could not do what was asked.
enum class SecretStoreFailure {
  unavailable,  // no secret service reachable (no bus, nothing answering the name)
  locked,       // the collection or item is locked and could not be unlocked unattended
  timedOut,     // the service did not answer within the store's time bound
  failed,       // any other refusal of the service
};

// A secret store failure where a caller must give up; says which way the keyring failed.
class SecretStoreError final : public EnumeratedError<SecretStoreFailure> {
 public:
  using EnumeratedError::EnumeratedError;
  std::string localizedDescription() const override {
    switch (value()) {
      case SecretStoreFailure::unavailable:
        return Messages::keyringUnavailable;
      case SecretStoreFailure::locked:
        return Messages::keyringLocked;
      case SecretStoreFailure::timedOut:
        return Messages::keyringTimedOut;
      case SecretStoreFailure::failed:
        break;
    }
    return Messages::keyringFailed;
  }
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
