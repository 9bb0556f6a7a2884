#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>

#include "accounts/AccountStore.h"
#include "identity/DataFolder.h"
#include "identity/ServerIdentity.h"
#include "recognition/WavAudio.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;
using namespace wrenly::speech;
using namespace std::string_literals;

namespace {

TEST(AccountStore, KeepsOnlyHashesAndDeletesAnAccountWithItsRecords) {
  TemporaryDirectory folder;
  const std::string token = randomSecret();
  EXPECT_EQ(token.size(), 43u);
  {
    auto store = std::move(AccountStore::open(folder / "accounts.sqlite").value());
    EXPECT_EQ(store->propose(token, "state-1", 100), ProposalOutcome::proposed);
    EXPECT_FALSE(store->accountOf(token));  // pending
    EXPECT_EQ(store->completeSignIn("state-1", true, 100 + 15 * 60 + 1),
              SignInOutcome::unknownState);  // expired
    store->propose(token, "state-2", 2000);
    EXPECT_EQ(store->completeSignIn("state-2", true, 2000), SignInOutcome::completed);
    EXPECT_EQ(store->completeSignIn("state-2", true, 2000), SignInOutcome::unknownState);
    EXPECT_EQ(store->propose(token, "state-3", 2000), ProposalOutcome::tokenInUse);
    const auto account = store->accountOf(token);
    ASSERT_TRUE(account);
    store->recordRequest(*account, "STREAM-ID", "stream", "", 2000);
    store->recordRequest(*account, "BATCH-ID", "transcribe", "STREAM-ID", 2001);
    EXPECT_EQ(store->requestCount(*account), 2);
    store->recordRequest(*account, "LATER-ID", "text", "", 2001 + 30 * 24 * 3600);
    EXPECT_EQ(store->requestCount(*account), 2);  // the first record is past its lifetime
    // Each sign-in start is a row: only so many wait at once.
    EXPECT_EQ(store->propose(randomSecret(), "state-4", 2000, 2), ProposalOutcome::proposed);
    EXPECT_EQ(store->propose(randomSecret(), "state-5", 2000, 2), ProposalOutcome::proposed);
    EXPECT_EQ(store->propose(randomSecret(), "state-6", 2000, 2), ProposalOutcome::tooManyPending);
    store->deleteAccount(*account);
    EXPECT_FALSE(store->accountOf(token));
    EXPECT_EQ(store->requestCount(*account), 0);
  }
  EXPECT_EQ(fileMode(folder / "accounts.sqlite"), 0600u);
  EXPECT_EQ(readFile(folder / "accounts.sqlite").find(token), std::string::npos);
}

TEST(AccountStore, ASignInThatFailsToStoreItsTokenLeavesNothingBehind) {
  TemporaryDirectory folder;
  auto store = std::move(AccountStore::open(folder / "accounts.sqlite").value());
  store->propose("token-1", "state-1", 100);
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((folder / "accounts.sqlite").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db,
                           "CREATE TRIGGER refuse BEFORE INSERT ON tokens "
                           "BEGIN SELECT RAISE(ABORT, 'disk full'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  EXPECT_EQ(store->completeSignIn("state-1", true, 100), SignInOutcome::failed);
  EXPECT_TRUE(store->signInPending("state-1", 100));  // rolled back: it can be tried again
  EXPECT_FALSE(store->accountOf("token-1"));
}

TEST(ServerIdentity, MakesPrivateFilesOnceAndReusesThem) {
  TemporaryDirectory folder;
  auto first = loadOrCreateIdentity(folder.path());
  ASSERT_TRUE(first);
  for (const char* name : {"authority.pem", "authority-key.pem", "server.pem", "server-key.pem"}) {
    EXPECT_EQ(fileMode(folder / name), 0600u) << name;
  }
  auto second = loadOrCreateIdentity(folder.path());
  ASSERT_TRUE(second);
  EXPECT_EQ(second.value().certificateChainPem, first.value().certificateChainPem);
}

// The verification error of the server certificate of `issued`, against its authority alone.
int verificationError(const IssuedIdentity& issued) {
  auto read = [](const std::string& pem) {
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
    return std::unique_ptr<X509, decltype(&X509_free)>(
        PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr), &X509_free);
  };
  auto authority = read(issued.authority.certificatePem);
  auto server = read(issued.server.certificatePem);
  std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(), &X509_STORE_free);
  std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> check(X509_STORE_CTX_new(),
                                                                        &X509_STORE_CTX_free);
  X509_STORE_add_cert(store.get(), authority.get());
  X509_STORE_CTX_init(check.get(), store.get(), server.get(), nullptr);
  X509_verify_cert(check.get());
  return X509_STORE_CTX_get_error(check.get());
}

TEST(ServerIdentity, TheAuthorityVouchesForLoopbackNamesOnly) {
  EXPECT_EQ(verificationError(issueIdentity("localhost").value()), X509_V_OK);
  EXPECT_EQ(verificationError(issueIdentity("elsewhere.example").value()),
            X509_V_ERR_PERMITTED_VIOLATION);
}

TEST(DataFolder, WritesThroughNoPlantedLinkAndRefusesAFolderItDoesNotOwnOutright) {
  TemporaryDirectory folder;
  const auto data = folder / "data";
  ASSERT_TRUE(prepareDataFolder(data));
  std::ofstream(folder / "victim") << "untouched";
  ASSERT_EQ(::symlink((folder / "victim").c_str(), (data / "authority-key.pem.partial").c_str()),
            0);
  ASSERT_TRUE(loadOrCreateIdentity(data));
  std::stringstream victim;
  victim << std::ifstream(folder / "victim").rdbuf();
  EXPECT_EQ(victim.str(), "untouched");

  ASSERT_EQ(::symlink(data.c_str(), (folder / "link").c_str()), 0);
  EXPECT_FALSE(prepareDataFolder(folder / "link"));
  std::vector<std::pair<const char*, std::string>> saved;
  for (const char* name : {"HOME", "XDG_DATA_HOME"}) {
    if (const char* value = std::getenv(name)) saved.emplace_back(name, value);
    ::unsetenv(name);
  }
  EXPECT_FALSE(prepareDataFolder(std::nullopt));  // rather than a folder anyone could plant
  for (const auto& [name, value] : saved) ::setenv(name, value.c_str(), 1);
}

TEST(WavAudio, DecodesBase64AndTheRecordedFormatOnly) {
  EXPECT_EQ(decodeBase64("aGVsbG8="), "hello");
  EXPECT_EQ(decodeBase64("aGVsbA=="), "hell");
  EXPECT_EQ(decodeBase64(""), "");
  for (const char* bad : {"aGVsbG8", "aGV\nsbG8=", "a=Vs", "aG=s", "aGVsbG8=aGVs"}) {
    EXPECT_FALSE(decodeBase64(bad)) << bad;
  }
  auto header = [](std::uint32_t rate, std::uint16_t channels) {
    std::string wav = "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0"s;
    wav += static_cast<char>(channels);
    wav += '\0';
    for (int s = 0; s < 32; s += 8) wav += static_cast<char>(rate >> s & 0xff);
    wav += "\0\0\0\0\x02\0\x10\0data\x04\0\0\0\x01\x00\xff\xff"s;
    return wav;
  };
  EXPECT_EQ(std::get<std::vector<std::int16_t>>(readWav(header(16000, 1))),
            (std::vector<std::int16_t>{1, -1}));
  EXPECT_EQ(std::get<WavFailure>(readWav(header(44100, 1))), WavFailure::unsupportedFormat);
  EXPECT_EQ(std::get<WavFailure>(readWav(header(16000, 2))), WavFailure::unsupportedFormat);
  EXPECT_EQ(std::get<WavFailure>(readWav(header(16000, 1).substr(0, 30))), WavFailure::notWav);
  EXPECT_EQ(std::get<WavFailure>(readWav("not a wav file at all")), WavFailure::notWav);
}

}  // namespace
