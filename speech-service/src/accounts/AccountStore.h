#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "StartupError.h"

struct sqlite3;

namespace wrenly::speech {

// SHA-256 of `secret` in lower-case hex: how tokens and sign-in states are kept on disk.
std::string secretHash(std::string_view secret);
// 32 random bytes, URL-safe Base64 without padding (43 characters).
std::string randomSecret();

using AccountID = std::int64_t;

enum class ProposalOutcome { proposed, tokenInUse, tooManyPending };
enum class SignInOutcome { completed, declined, unknownState, failed };

// The accounts of the local service in SQLite. Tokens and sign-in states are stored only as
// hashes; request records hold identifiers and times, never content. Thread-safe.
class AccountStore {
 public:
  static Expected<std::unique_ptr<AccountStore>, StartupError> open(
      const std::filesystem::path& file);
  ~AccountStore();
  AccountStore(const AccountStore&) = delete;
  AccountStore& operator=(const AccountStore&) = delete;

  // Records `token` as pending behind the sign-in `state`. `now` is in seconds since the epoch.
  // At most `maximumPending` sign-ins wait at once: each start is a row on disk.
  ProposalOutcome propose(std::string_view token, std::string_view state, std::int64_t now,
                          std::int64_t maximumPending = 32);
  // Whether `state` names a sign-in that is still waiting (and not expired).
  bool signInPending(std::string_view state, std::int64_t now);
  // Completes the sign-in: its token becomes the bearer token of a new account. A declined one
  // forgets the token. On a database failure nothing changes (`failed`).
  SignInOutcome completeSignIn(std::string_view state, bool allow, std::int64_t now);

  // The account an active token belongs to.
  std::optional<AccountID> accountOf(std::string_view token);
  void revoke(std::string_view token);
  void deleteAccount(AccountID account);
  // Relates a request to the earlier one it follows (a stream, or a recognition). Records older
  // than `requestRecordLifetimeSeconds` are dropped on the way.
  void recordRequest(AccountID account, std::string_view requestID, std::string_view kind,
                     std::string_view relatedID, std::int64_t now);
  std::int64_t requestCount(AccountID account);

  static constexpr std::int64_t requestRecordLifetimeSeconds = 30 * 24 * 3600;

 private:
  explicit AccountStore(sqlite3* db) : db_(db) {}
  bool execute(const char* sql);
  sqlite3* db_;
  std::mutex mutex_;
};

}  // namespace wrenly::speech
