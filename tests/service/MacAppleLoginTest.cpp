#include <boost/asio/as_tuple.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/json/parse.hpp>
#include <regex>

#include "ServiceHarness.h"
#include "platform/BrowserSession.h"
#include "service/MacAppleLogin.h"
#include "service/MacServiceError.h"

namespace {

// A browser the test answers by hand: it records the page it was asked to show and waits until
// the test hands it a callback URL or a failure (or the sign-in cancels it).
class ScriptedBrowser final : public BrowserSession {
 public:
  asio::awaitable<std::string> authenticate(std::string url, std::string scheme) override {
    shownPages.push_back(url);
    schemes.push_back(scheme);
    if (refuseToStart) throw BrowserSessionError(BrowserSessionFailure::startRefused);
    auto executor = co_await asio::this_coro::executor;
    asio::steady_timer wake(executor, asio::steady_timer::time_point::max());
    wake_ = &wake;
    co_await wake.async_wait(asio::as_tuple(asio::use_awaitable));
    wake_ = nullptr;
    if (!answer_) throw boost::system::system_error(asio::error::operation_aborted);
    auto answer = std::exchange(answer_, std::nullopt);
    co_return *answer;
  }

  bool waiting() const { return wake_ != nullptr; }
  void answer(std::string callback) {
    answer_ = std::move(callback);
    if (wake_) wake_->cancel();
  }

  std::vector<std::string> shownPages;
  std::vector<std::string> schemes;
  bool refuseToStart = false;

 private:
  asio::steady_timer* wake_ = nullptr;
  std::optional<std::string> answer_;
};

class MacAppleLoginTest : public ServiceHarness {
 protected:
  std::string stateOfShownPage() const {
    std::smatch m;
    const std::string& page = browser.shownPages.back();
    return std::regex_search(page, m, std::regex("state=([^&]+)")) ? m[1].str() : "";
  }
  std::string proposedToken() const {
    std::string token;  // of the latest sign-in
    for (const auto& r : server.requests()) {
      if (r.path == "account/mac/start") {
        token = std::string(boost::json::parse(r.body).at("token").as_string());
      }
    }
    return token;
  }
  // Starts a sign-in and runs until the browser shows the page.
  std::shared_ptr<Outcome<MacAccountStatus>> beginSignIn() {
    auto outcome = start(login.signIn());
    runUntil([&] { return browser.waiting() || outcome->done; });
    return outcome;
  }

  MacVoiceService service = makeService();
  ScriptedBrowser browser;
  MacAppleLogin login{service, browser, clock};
};

TEST_F(MacAppleLoginTest, ProposesAUrlSafeTokenAndStoresItOnceTheCallbackMatches) {
  auto outcome = beginSignIn();
  ASSERT_TRUE(login.isSigningIn());
  const std::string token = proposedToken();
  EXPECT_TRUE(std::regex_match(token, std::regex("^[A-Za-z0-9_-]{43}$"))) << token;
  EXPECT_EQ(browser.schemes.back(), "wrenly-auth");
  EXPECT_TRUE(browser.shownPages.back().starts_with("https://appleid.apple.com/"));

  server.approveSignIn(token);
  browser.answer("wrenly-auth://complete?state=" + stateOfShownPage());
  runUntil([&] { return outcome->done; });
  ASSERT_FALSE(outcome->error);
  EXPECT_TRUE(outcome->value->active);
  EXPECT_FALSE(login.isSigningIn());
  EXPECT_EQ(service.streamingToken(), token);
  EXPECT_TRUE(service.isActivated());
}

TEST_F(MacAppleLoginTest, CallbacksThatDoNotAnswerThisSignInFailAndStoreNothing) {
  struct Row {
    std::string name;
    std::function<std::string(const std::string& state)> callback;
    bool accepted;
  };
  const std::vector<Row> rows = {
      {"wrong state", [](auto&) { return "wrenly-auth://complete?state=other"; }, false},
      {"error before state",
       [](auto& s) { return "wrenly-auth://complete?error=denied&state=" + s; }, false},
      {"error after state",
       [](auto& s) { return "wrenly-auth://complete?state=" + s + "&error=x"; }, false},
      {"first state decides (wrong first)",
       [](auto& s) { return "wrenly-auth://complete?state=no&state=" + s; }, false},
      {"first state decides (right first)",
       [](auto& s) { return "wrenly-auth://complete?state=" + s + "&state=no"; }, true},
      {"no query", [](auto&) { return "wrenly-auth://complete"; }, false},
      {"other host", [](auto& s) { return "wrenly-auth://completed?state=" + s; }, false},
      {"other scheme", [](auto& s) { return "wrenly-other://complete?state=" + s; }, false},
      {"upper-case host", [](auto& s) { return "wrenly-auth://COMPLETE?state=" + s; }, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    secrets.remove(MacVoiceService::credentialService, server.baseURL());
    auto outcome = beginSignIn();
    server.approveSignIn(proposedToken());
    browser.answer(row.callback(stateOfShownPage()));
    runUntil([&] { return outcome->done; });
    if (row.accepted) {
      EXPECT_FALSE(outcome->error);
      continue;
    }
    EXPECT_EQ(outcome->errorAs<MacServiceError>(), MacServiceError::service("login_failed"));
    EXPECT_EQ(service.streamingToken(), std::nullopt);
    EXPECT_FALSE(login.isSigningIn());
  }
}

TEST_F(MacAppleLoginTest, AuthorizationPagesOffApplesHostAreNeverShown) {
  for (const std::string url :
       {"HTTPS://appleid.apple.com/auth", "http://appleid.apple.com/auth",
        "https://appleid.apple.com.evil.example/auth", "https://AppleID.apple.com/auth",
        "https://127.0.0.1/auth", "not a url"}) {
    SCOPED_TRACE(url);
    server.enqueue("POST", "account/mac/start",
                   ContractService::Reply::json(
                       200, "{\"authorizationURL\":\"" + url + "\",\"state\":\"s\"}"));
    auto outcome = run(login.signIn());
    EXPECT_EQ(outcome.errorAs<MacServiceError>(), MacServiceError::invalidResponse());
  }
  EXPECT_TRUE(browser.shownPages.empty());
}

TEST_F(MacAppleLoginTest, ABrowserThatCannotStartIsLoginUnavailable) {
  browser.refuseToStart = true;
  auto outcome = run(login.signIn());
  EXPECT_EQ(outcome.errorAs<MacServiceError>(), MacServiceError::service("login_unavailable"));
  EXPECT_FALSE(login.isSigningIn());
}

TEST_F(MacAppleLoginTest, UserCancelAndAbandonmentEndAsCancelledWithNothingStored) {
  {
    auto outcome = beginSignIn();
    login.cancel();
    runUntil([&] { return outcome->done; });
    EXPECT_EQ(outcome->errorAs<BrowserSessionError>().value(), BrowserSessionFailure::cancelled);
  }
  {
    auto outcome = beginSignIn();
    clock.advance(MacAppleLogin::abandonAfter - std::chrono::seconds(1));
    EXPECT_FALSE(outcome->done);
    clock.advance(std::chrono::seconds(1));
    runUntil([&] { return outcome->done; });
    EXPECT_EQ(outcome->errorAs<BrowserSessionError>().value(), BrowserSessionFailure::cancelled);
  }
  EXPECT_FALSE(login.isSigningIn());
  EXPECT_EQ(service.streamingToken(), std::nullopt);
  login.cancel();  // nothing to cancel: harmless
}

TEST(MacAppleLoginTokenTest, UrlSafeFormOfThirtyTwoBytes) {
  unsigned char bytes[32];
  for (int i = 0; i < 32; ++i) bytes[i] = static_cast<unsigned char>(0xFB + i);
  const std::string token = MacAppleLogin::urlSafeToken(bytes);
  EXPECT_EQ(token.size(), 43u);
  EXPECT_EQ(token.find_first_of("+/="), std::string::npos);
  EXPECT_NE(token.find_first_of("-_"), std::string::npos);
}

}  // namespace
