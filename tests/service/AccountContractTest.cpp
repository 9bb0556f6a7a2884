#include <gmock/gmock.h>

#include "ServiceHarness.h"
#include "service/MacServiceError.h"
#include "service/ReplyDecoding.h"
#include "service/TransportError.h"

namespace {

using Reply = ContractService::Reply;

class AccountContract : public ServiceHarness {
 protected:
  std::string flag() const { return "active." + server.baseURL(); }
  std::optional<std::string> storedToken() {
    return secrets.lookup(MacVoiceService::credentialService, server.baseURL()).secret();
  }
};

TEST_F(AccountContract, SignInStoresTheTokenAndTheFlag) {
  auto service = makeService();
  EXPECT_FALSE(service.isActivated());
  auto start = run(service.beginAppleLogin("proposed-1"));
  ASSERT_TRUE(start.value);
  EXPECT_EQ(start.value->state, "state1");
  server.approveSignIn("proposed-1");

  EXPECT_EQ(run(service.completeAppleLogin("proposed-1")).value, MacAccountStatus{true});
  EXPECT_EQ(storedToken(), "proposed-1");
  EXPECT_EQ(settings.boolValue(flag()), true);
  EXPECT_TRUE(service.isActivated());
  EXPECT_EQ(service.streamingToken(), "proposed-1");
  EXPECT_EQ(server.requests().back().header("Authorization"), "Bearer proposed-1");

  // A second sign-in replaces the token in place.
  server.addAccount("proposed-2");
  EXPECT_TRUE(run(service.completeAppleLogin("proposed-2")).value);
  EXPECT_EQ(storedToken(), "proposed-2");
  EXPECT_EQ(secrets.size(), 1u);
}

TEST_F(AccountContract, InactiveOrUndecodableStatusStoresNothing) {
  auto service = makeService();
  server.enqueue("GET", "access", Reply::json(200, R"({"active":false})"), 2);
  EXPECT_EQ(run(service.completeAppleLogin("t")).errorAs<MacServiceError>(),
            MacServiceError::invalidResponse());
  signIn("stored");
  settings.remove(flag());
  EXPECT_EQ(run(service.accountStatus()).value, MacAccountStatus{false});

  server.enqueue("GET", "access", Reply::json(200, R"({"status":"ok"})"), 2);
  EXPECT_EQ(run(service.completeAppleLogin("t")).errorAs<ReplyDecodingError>().value(),
            ReplyDecodingFailure::missingMember);
  EXPECT_EQ(run(service.accountStatus()).errorAs<ReplyDecodingError>().value(),
            ReplyDecodingFailure::missingMember);
  EXPECT_EQ(storedToken(), "stored");
  EXPECT_FALSE(settings.contains(flag()));
}

TEST_F(AccountContract, AFailedStoreFailsTheSignInWithoutTheFlag) {
  server.addAccount("t");
  secrets.failWrites(SecretStoreFailure::locked);
  auto service = makeService();
  EXPECT_EQ(run(service.completeAppleLogin("t")).errorAs<MacServiceError>(),
            MacServiceError::invalidResponse());
  EXPECT_FALSE(settings.contains(flag()));
}

TEST_F(AccountContract, TheFlagAloneDecidesActivationButNotTheStreamingToken) {
  signIn("tok");
  auto service = makeService();
  settings.remove(flag());
  EXPECT_FALSE(service.isActivated());
  EXPECT_EQ(service.streamingToken(), "tok");
  secrets.failLookups(SecretStoreFailure::unavailable);
  settings.setBool(flag(), true);
  EXPECT_FALSE(service.isActivated());
  EXPECT_EQ(service.streamingToken(), std::nullopt);
}

TEST_F(AccountContract, SignOutAndRemovalClearLocallyOnlyWhenAccepted) {
  signIn("tok");
  auto service = makeService();
  server.enqueue("DELETE", "account/session", Reply::error(500, "internal"));
  EXPECT_EQ(run(service.signOut()).errorAs<MacServiceError>(),
            MacServiceError::service("internal"));
  server.enqueue("DELETE", "access", Reply::json(503, ""));
  EXPECT_EQ(run(service.removeAccess()).errorAs<MacServiceError>(), MacServiceError::rejected(503));
  EXPECT_TRUE(service.isActivated());

  server.enqueue("DELETE", "account/session", Reply::json(200, "not even json"));
  EXPECT_TRUE(run(service.signOut()).value);
  EXPECT_FALSE(storedToken());
  EXPECT_FALSE(settings.contains(flag()));

  signIn("tok2");
  EXPECT_TRUE(run(service.removeAccess()).value);
  EXPECT_FALSE(storedToken());
  EXPECT_FALSE(settings.contains(flag()));
  EXPECT_EQ(server.requests().back().target, "/wrenly/v1/access");
}

TEST_F(AccountContract, SignOutOfflineKeepsTokenAndFlag) {
  std::string baseURL;
  {
    ContractServer gone;
    baseURL = gone.baseURL();
  }
  MacVoiceService service(platform, ServiceConfiguration{baseURL, server.certificateFile()});
  secrets.store(MacVoiceService::credentialService, baseURL, "tok");
  settings.setBool("active." + baseURL, true);
  EXPECT_EQ(run(service.signOut()).errorAs<TransportError>().code(),
            TransportError::couldNotConnect);
  EXPECT_TRUE(service.isActivated());
}

// What the program logs about a whole session of calls holds no token, text or audio.
TEST_F(AccountContract, TheLogNeverHoldsTokensTextsOrAudio) {
  server.setTranscript("秘密的轉錄內容");
  server.setCleanedText("整理後的秘密");
  auto service = makeService();
  run(service.beginAppleLogin("proposed-secret-token"));
  server.approveSignIn("proposed-secret-token");
  run(service.completeAppleLogin("proposed-secret-token"));
  std::vector<std::uint8_t> wav(3000, 0x5A);
  EXPECT_TRUE(run(service.transcribe(wav, "auto", std::nullopt, "ID")).value);
  EXPECT_TRUE(run(service.clean("要清理的文字", std::nullopt)).value);
  server.enqueue("POST", "text", Reply::json(418, R"({"detail":"leaky-body-text"})"));
  run(service.applySpokenTask("選取的文字", "指示內容", std::nullopt));
  EXPECT_TRUE(run(service.signOut()).value);

  std::string log = logText();
  EXPECT_NE(log.find("http stage=transcribe status=200"), std::string::npos);
  for (const char* secret : {"proposed-secret-token", "秘密", "要清理", "選取", "指示", "WlpaWlpa",
                             "leaky-body-text", "Bearer"}) {
    EXPECT_EQ(log.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
