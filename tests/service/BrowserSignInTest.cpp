#include <regex>

#include "ServiceHarness.h"
#include "service/BrowserSignIn.h"
#include "service/ServiceError.h"
#include "support/service/ScriptedBrowser.h"

using namespace wrenly;

namespace {

class BrowserSignInTest : public ServiceHarness {
 protected:
  // Answers like Apple's page for the first sign-in on this server: approves the proposed token
  // and sends the browser back with `query`.
  void completeWith(std::string query) {
    browser.respond = [this, query] {
      server.approveSignIn();
      return "wrenly-auth://complete" + query;
    };
  }

  SpeechServiceClient service = makeService();
  ScriptedBrowser browser;
  BrowserSignIn login{service, browser, clock};
};

TEST_F(BrowserSignInTest, ProposesAUrlSafeTokenAndStoresItOnceTheCallbackMatches) {
  completeWith("?state=state1");
  EXPECT_EQ(run(login.signIn()).value, AccountStatus{true});
  EXPECT_EQ(browser.shownPages,
            std::vector<std::string>{
                "wrenly-auth https://appleid.apple.com/auth/authorize?state=state1"});
  const auto token = service.streamingToken().value_or("");
  EXPECT_TRUE(std::regex_match(token, std::regex("^[A-Za-z0-9_-]{43}$"))) << token;
  EXPECT_EQ(server.requests().back().header("Authorization"), "Bearer " + token);
  EXPECT_TRUE(service.isActivated());
  EXPECT_FALSE(login.isSigningIn());
}

TEST_F(BrowserSignInTest, ACallbackForAnotherSignInAPageOffApplesHostOrNoBrowserStoresNothing) {
  completeWith("?error=denied&state=state1");
  EXPECT_EQ(run(login.signIn()).errorAs<ServiceError>(), ServiceError::service("login_failed"));
  server.enqueue("POST", "account/mac/start",
                 ContractServer::Reply::json(
                     200, R"({"authorizationURL":"HTTPS://appleid.apple.com/a","state":"s"})"));
  EXPECT_EQ(run(login.signIn()).errorAs<ServiceError>(), ServiceError::invalidResponse());
  browser.refuseToStart = true;
  EXPECT_EQ(run(login.signIn()).errorAs<ServiceError>(),
            ServiceError::service("login_unavailable"));
  EXPECT_EQ(browser.shownPages.size(), 2u);
  EXPECT_EQ(service.streamingToken(), std::nullopt);
  EXPECT_FALSE(login.isSigningIn());
}

TEST_F(BrowserSignInTest, UserCancelAndAbandonmentEndAsCancelledWithNothingStored) {
  for (bool abandon : {false, true}) {
    auto outcome = start(login.signIn());
    loop.runUntil([&] { return clock.pendingTimers() == 1; });  // the browser shows the page
    if (abandon) {
      clock.advance(BrowserSignIn::abandonAfter - std::chrono::seconds(1));
      EXPECT_FALSE(outcome->done);
      clock.advance(std::chrono::seconds(1));
    } else {
      login.cancel();
    }
    loop.runUntil([&] { return outcome->done; });
    EXPECT_EQ(outcome->errorAs<BrowserSessionError>().value(), BrowserSessionFailure::cancelled);
  }
  EXPECT_FALSE(login.isSigningIn());
  EXPECT_EQ(service.streamingToken(), std::nullopt);
  login.cancel();  // nothing to cancel: harmless
}

}  // namespace
