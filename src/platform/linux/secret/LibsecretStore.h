#pragma once

#include <chrono>

#include "platform/SecretStore.h"

namespace wrenly {

// Secrets in the desktop's Secret Service (GNOME Keyring, KWallet) through libsecret: one item
// per (service, account), both attributes always matched, stored in the default collection.
//
// The library's own D-Bus timeout is 50 s and a locked collection may wait for a prompt nobody
// answers, so every call is cut off after `bound`: a look-up then reports `timedOut` (the
// caller reads that as "no token") and a store or removal fails.
class LibsecretStore final : public SecretStore {
 public:
  explicit LibsecretStore(std::chrono::milliseconds bound = std::chrono::seconds(5));

  SecretLookup lookup(std::string_view service, std::string_view account) override;
  std::optional<SecretStoreFailure> store(std::string_view service, std::string_view account,
                                          std::string_view secret) override;
  std::optional<SecretStoreFailure> remove(std::string_view service,
                                           std::string_view account) override;

 private:
  std::chrono::milliseconds bound_;
};

}  // namespace wrenly
