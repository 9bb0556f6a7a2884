#include "accounts/AccountStore.h"

#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <array>
#include <optional>
#include <stdexcept>

namespace wrenly::speech {

namespace {

// A sign-in page left open longer than this has to be started again from the program.
constexpr std::int64_t signInLifetimeSeconds = 15 * 60;

constexpr const char* schema = R"(
PRAGMA journal_mode = WAL;
PRAGMA foreign_keys = ON;
CREATE TABLE IF NOT EXISTS accounts (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS tokens (
  token_hash TEXT PRIMARY KEY,
  account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
  created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS sign_ins (
  state_hash TEXT PRIMARY KEY,
  token_hash TEXT NOT NULL UNIQUE,
  created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS requests (
  request_id TEXT NOT NULL,
  account_id INTEGER NOT NULL REFERENCES accounts(id) ON DELETE CASCADE,
  kind TEXT NOT NULL,
  related_id TEXT NOT NULL,
  created_at INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS requests_by_account ON requests(account_id);
)";

// One prepared statement, finalised on every path.
class Statement {
 public:
  Statement(sqlite3* db, const char* sql) {
    if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
      throw std::runtime_error(sqlite3_errmsg(db));
    }
  }
  ~Statement() { sqlite3_finalize(statement_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int index, std::string_view text) {
    sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                      SQLITE_TRANSIENT);
    return *this;
  }
  Statement& bind(int index, std::int64_t value) {
    sqlite3_bind_int64(statement_, index, value);
    return *this;
  }
  bool step() { return sqlite3_step(statement_) == SQLITE_ROW; }
  bool done() { return sqlite3_step(statement_) == SQLITE_DONE; }
  std::int64_t integer(int column) { return sqlite3_column_int64(statement_, column); }
  std::string text(int column) {
    auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    return data ? std::string(data) : std::string();
  }

 private:
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace

std::string secretHash(std::string_view secret) {
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int size = 0;
  EVP_Digest(secret.data(), secret.size(), digest.data(), &size, EVP_sha256(), nullptr);
  static constexpr char hex[] = "0123456789abcdef";
  std::string text;
  for (unsigned i = 0; i < size; ++i) {
    text += hex[digest[i] >> 4];
    text += hex[digest[i] & 15];
  }
  return text;
}

std::string randomSecret() {
  std::array<unsigned char, 32> bytes{};
  if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
    throw std::runtime_error("no random bytes");
  }
  std::array<unsigned char, 48> encoded{};
  int size = EVP_EncodeBlock(encoded.data(), bytes.data(), static_cast<int>(bytes.size()));
  std::string text;
  for (int i = 0; i < size; ++i) {
    char c = static_cast<char>(encoded[static_cast<size_t>(i)]);
    if (c == '=') continue;
    text += c == '+' ? '-' : c == '/' ? '_' : c;
  }
  return text;
}

Expected<std::unique_ptr<AccountStore>, StartupError> AccountStore::open(
    const std::filesystem::path& file) {
  sqlite3* db = nullptr;
  const mode_t previous = ::umask(077);  // the database and its journal: the user's only
  int rc =
      sqlite3_open_v2(file.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  ::umask(previous);
  if (rc != SQLITE_OK) {
    std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    sqlite3_close(db);
    return StartupError{StartupFailure::accountStore, file.string() + ": " + message};
  }
  std::unique_ptr<AccountStore> store(new AccountStore(db));
  sqlite3_busy_timeout(db, 5000);
  if (!store->execute(schema)) {
    return StartupError{StartupFailure::accountStore, file.string() + ": " + sqlite3_errmsg(db)};
  }
  ::chmod(file.c_str(), 0600);
  return store;
}

AccountStore::~AccountStore() {
  sqlite3_close(db_);
}

bool AccountStore::execute(const char* sql) {
  return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

ProposalOutcome AccountStore::propose(std::string_view token, std::string_view state,
                                      std::int64_t now, std::int64_t maximumPending) {
  std::lock_guard lock(mutex_);
  const std::string tokenHash = secretHash(token);
  Statement used(db_, "SELECT 1 FROM tokens WHERE token_hash = ?");
  if (used.bind(1, tokenHash).step()) return ProposalOutcome::tokenInUse;
  Statement expired(db_, "DELETE FROM sign_ins WHERE created_at < ? OR token_hash = ?");
  expired.bind(1, now - signInLifetimeSeconds).bind(2, tokenHash).step();
  Statement pending(db_, "SELECT COUNT(*) FROM sign_ins");
  if (pending.step() && pending.integer(0) >= maximumPending) {
    return ProposalOutcome::tooManyPending;
  }
  Statement insert(db_,
                   "INSERT INTO sign_ins (state_hash, token_hash, created_at) VALUES (?, ?, ?)");
  insert.bind(1, secretHash(state)).bind(2, tokenHash).bind(3, now).step();
  return ProposalOutcome::proposed;
}

bool AccountStore::signInPending(std::string_view state, std::int64_t now) {
  std::lock_guard lock(mutex_);
  Statement query(db_, "SELECT 1 FROM sign_ins WHERE state_hash = ? AND created_at >= ?");
  return query.bind(1, secretHash(state)).bind(2, now - signInLifetimeSeconds).step();
}

SignInOutcome AccountStore::completeSignIn(std::string_view state, bool allow, std::int64_t now) {
  std::lock_guard lock(mutex_);
  const std::string stateHash = secretHash(state);
  Statement query(db_, "SELECT token_hash FROM sign_ins WHERE state_hash = ? AND created_at >= ?");
  if (!query.bind(1, stateHash).bind(2, now - signInLifetimeSeconds).step()) {
    return SignInOutcome::unknownState;
  }
  const std::string tokenHash = query.text(0);
  if (!execute("BEGIN IMMEDIATE")) return SignInOutcome::failed;
  bool ok = Statement(db_, "DELETE FROM sign_ins WHERE state_hash = ?").bind(1, stateHash).done();
  if (ok && allow) {
    std::optional<AccountID> account;
    {
      // The id comes from the insert itself, not from whichever insert ran last.
      Statement insert(db_, "INSERT INTO accounts (created_at) VALUES (?) RETURNING id");
      if (insert.bind(1, now).step()) account = insert.integer(0);
      ok = account && insert.done();
    }
    ok = ok &&
         Statement(db_, "INSERT INTO tokens (token_hash, account_id, created_at) VALUES (?, ?, ?)")
             .bind(1, tokenHash)
             .bind(2, *account)
             .bind(3, now)
             .done();
  }
  if (!ok || !execute("COMMIT")) {
    execute("ROLLBACK");
    return SignInOutcome::failed;
  }
  return allow ? SignInOutcome::completed : SignInOutcome::declined;
}

std::optional<AccountID> AccountStore::accountOf(std::string_view token) {
  std::lock_guard lock(mutex_);
  Statement query(db_, "SELECT account_id FROM tokens WHERE token_hash = ?");
  if (!query.bind(1, secretHash(token)).step()) return std::nullopt;
  return query.integer(0);
}

void AccountStore::revoke(std::string_view token) {
  std::lock_guard lock(mutex_);
  Statement remove(db_, "DELETE FROM tokens WHERE token_hash = ?");
  remove.bind(1, secretHash(token)).step();
}

void AccountStore::deleteAccount(AccountID account) {
  std::lock_guard lock(mutex_);
  Statement remove(db_, "DELETE FROM accounts WHERE id = ?");  // tokens and records cascade
  remove.bind(1, account).step();
}

void AccountStore::recordRequest(AccountID account, std::string_view requestID,
                                 std::string_view kind, std::string_view relatedID,
                                 std::int64_t now) {
  std::lock_guard lock(mutex_);
  Statement old(db_, "DELETE FROM requests WHERE created_at < ?");
  old.bind(1, now - requestRecordLifetimeSeconds).done();
  Statement insert(db_,
                   "INSERT INTO requests (request_id, account_id, kind, related_id, created_at) "
                   "VALUES (?, ?, ?, ?, ?)");
  insert.bind(1, requestID).bind(2, account).bind(3, kind).bind(4, relatedID).bind(5, now).step();
}

std::int64_t AccountStore::requestCount(AccountID account) {
  std::lock_guard lock(mutex_);
  Statement query(db_, "SELECT COUNT(*) FROM requests WHERE account_id = ?");
  return query.bind(1, account).step() ? query.integer(0) : 0;
}

}  // namespace wrenly::speech
