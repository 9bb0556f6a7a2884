#include <gtest/gtest.h>

#include "accounts/AccountStore.h"
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
    store->deleteAccount(*account);
    EXPECT_FALSE(store->accountOf(token));
    EXPECT_EQ(store->requestCount(*account), 0);
  }
  EXPECT_EQ(fileMode(folder / "accounts.sqlite"), 0600u);
  EXPECT_EQ(readFile(folder / "accounts.sqlite").find(token), std::string::npos);
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
