#include <gtest/gtest.h>

#include "ServiceHarness.h"
#include "service/ReplyDecoding.h"
#include "service/ServiceError.h"

using namespace wrenly;

namespace {

using Reply = ContractServer::Reply;

class AccountContract : public ServiceHarness {
 protected:
  std::string flag() const { return "active." + server.baseURL(); }
  std::optional<std::string> storedToken() {
    return secrets.lookup(SpeechServiceClient::credentialService, server.baseURL()).secret();
  }
  SpeechServiceClient service = makeService();
};

TEST_F(AccountContract, SignInStoresTheTokenAndTheFlagAndReplacesThemInPlace) {
  EXPECT_FALSE(service.isActivated());
  EXPECT_EQ(run(service.startSignIn("proposed-1")).value->state, "state1");
  server.approveSignIn();
  EXPECT_EQ(run(service.completeSignIn("proposed-1")).value, AccountStatus{true});
  EXPECT_EQ(server.requests().back().header("Authorization"), "Bearer proposed-1");
  EXPECT_TRUE(service.isActivated());
  EXPECT_EQ(service.streamingToken(), "proposed-1");

  server.addAccount("proposed-2");
  EXPECT_TRUE(run(service.completeSignIn("proposed-2")).value);
  EXPECT_EQ(storedToken(), "proposed-2");
  EXPECT_EQ(secrets.size(), 1u);

  // The flag alone decides activation, not whether there is a token for streaming.
  settings.remove(flag());
  EXPECT_FALSE(service.isActivated());
  EXPECT_EQ(service.streamingToken(), "proposed-2");
}

TEST_F(AccountContract, InactiveUndecodableOrUnstorableStatusStoresNothing) {
  server.enqueue("GET", "access", Reply::json(200, R"({"active":false})"), 2);
  EXPECT_EQ(run(service.completeSignIn("t")).errorAs<ServiceError>(),
            ServiceError::invalidResponse());
  signIn("stored");
  settings.remove(flag());
  EXPECT_EQ(run(service.accountStatus()).value, AccountStatus{false});

  server.enqueue("GET", "access", Reply::json(200, R"({"status":"ok"})"), 2);
  EXPECT_EQ(run(service.completeSignIn("t")).errorAs<ReplyDecodingError>().value(),
            ReplyDecodingFailure::missingMember);
  EXPECT_EQ(run(service.accountStatus()).errorAs<ReplyDecodingError>().value(),
            ReplyDecodingFailure::missingMember);

  secrets.writeFailure = SecretStoreFailure::locked;
  // The keyring's own failure, not a fault of the service's reply.
  EXPECT_EQ(run(service.completeSignIn("stored")).errorAs<SecretStoreError>().value(),
            SecretStoreFailure::locked);
  secrets.writeFailure.reset();
  EXPECT_EQ(storedToken(), "stored");
  EXPECT_FALSE(settings.contains(flag()));
}

TEST_F(AccountContract, SignOutAndRemovalClearLocallyOnlyWhenAccepted) {
  signIn("tok");
  server.enqueue("DELETE", "account/session", Reply::error(500, "internal"));
  EXPECT_EQ(run(service.signOut()).errorAs<ServiceError>(), ServiceError::service("internal"));
  server.enqueue("DELETE", "access", Reply::json(503, ""));
  EXPECT_EQ(run(service.removeAccess()).errorAs<ServiceError>(), ServiceError::rejected(503));
  EXPECT_TRUE(service.isActivated());

  server.enqueue("DELETE", "account/session", Reply::json(200, "not even json"));
  EXPECT_TRUE(run(service.signOut()).value);
  EXPECT_FALSE(storedToken() || settings.contains(flag()));

  signIn("tok2");
  EXPECT_TRUE(run(service.removeAccess()).value);
  EXPECT_FALSE(storedToken() || settings.contains(flag()));
  EXPECT_EQ(server.requests().back().method + " " + server.requests().back().target,
            "DELETE /wrenly/v1/access");
  EXPECT_EQ(server.requests().back().body, "");
}

// What the program logs about a whole session of calls holds no token, text or audio.
TEST_F(AccountContract, TheLogNeverHoldsTokensTextsOrAudio) {
  server.setTranscript("秘密的轉錄內容");
  server.setCleanedText("整理後的秘密");
  run(service.startSignIn("proposed-secret-token"));
  server.approveSignIn();
  run(service.completeSignIn("proposed-secret-token"));
  std::vector<std::uint8_t> wav(3000, 0x5A);
  EXPECT_TRUE(run(service.transcribe(wav, "auto", std::nullopt, "ID", "")).value);
  EXPECT_TRUE(run(service.clean("要清理的文字", std::nullopt)).value);
  server.enqueue("POST", "text", Reply::json(418, R"({"detail":"leaky-body-text"})"));
  run(service.applySpokenTask("選取的文字", "指示內容", std::nullopt));
  EXPECT_TRUE(run(service.signOut()).value);

  std::string logged;
  for (const auto& line : log.lines()) logged += line + "\n";
  EXPECT_NE(logged.find("http stage=transcribe status=200"), std::string::npos);
  for (const char* secret : {"proposed-secret-token", "秘密", "要清理", "選取", "指示", "WlpaWlpa",
                             "leaky-body-text", "Bearer"}) {
    EXPECT_EQ(logged.find(secret), std::string::npos) << secret;
  }
}

}  // namespace
