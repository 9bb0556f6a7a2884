// The service-state check and the account actions: sign-in, sign-out, account removal.

#include <gmock/gmock.h>

#include <boost/json/parse.hpp>
#include <regex>

#include "controller/ControllerFixture.h"
#include "messages/Messages.h"
#include "service/ServiceError.h"

using namespace wrenly;

using testing::ElementsAre;

namespace {

class Account : public ControllerFixture {
 public:
  // Runs one account action on the main loop to its end.
  void perform(asio::awaitable<void> action) {
    bool done = false;
    asio::co_spawn(loop, std::move(action), [&](std::exception_ptr error) {
      EXPECT_FALSE(error);
      done = true;
    });
    runUntil([&] { return done; });
  }

  // Starts a sign-in from the window and runs until the browser shows Apple's page.
  void beginSignIn() {
    asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
    runUntil([&] { return browser.waiting() || !state().activationInProgress; });
  }
  std::string stateOfShownPage() const {
    std::smatch m;
    const std::string& page = browser.shownPages.back();
    return std::regex_search(page, m, std::regex("state=([^&]+)")) ? m[1].str() : "";
  }
  std::string proposedToken() const {
    std::string proposed;
    for (const auto& request : server.requests()) {
      if (request.path == "account/mac/start") {
        proposed = std::string(boost::json::parse(request.body).at("token").as_string());
      }
    }
    return proposed;
  }

  // Signed in and ready, with one delivered text and, after a failed recognition, a kept
  // recording: what the account actions must keep or clear.
  void dictateOnceAndFailOnce() {
    signedIn();
    setUpDone();
    launch();
    startDictation();
    speak(0.5);
    stopDictation();
    server.enqueue("POST", "transcribe", ContractService::Reply::json(500, "{}"));
    startDictation();
    speak(0.5);
    stopDictation();
    ASSERT_TRUE(state().hasRetryRecording);
  }

  std::vector<std::string> loginLines() const {
    std::vector<std::string> lines;
    for (const auto& line : cycleLines()) {
      if (line.rfind("apple_login", 0) == 0) lines.push_back(line);
    }
    return lines;
  }
};

TEST_F(Account, AFreshInstallationAsksToSignIn) {
  setUpDone();
  launch(false);
  EXPECT_EQ(state().message, "正在檢查語音服務…");
  EXPECT_FALSE(state().serviceStatusLoaded);
  controller->refreshServiceState();
  runUntil([&] { return state().serviceStatusLoaded; });
  EXPECT_FALSE(state().accessActive);
  EXPECT_FALSE(state().serviceAvailable);
  EXPECT_EQ(state().message, Messages::signInPrompt);
  EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(Account, TwoRefreshesInARowMakeOneCheck) {
  signedIn();
  setUpDone();
  launch(false);
  controller->refreshServiceState();
  controller->refreshServiceState();
  runUntil([&] { return state().accountStatus.has_value(); });
  EXPECT_EQ(state().message, "按 右 Alt 開始語音輸入");
  EXPECT_EQ(state().accountStatus, AccountStatus{true});
  EXPECT_EQ(accountChecks(), 1u);
}

TEST_F(Account, ACheckDuringARecordingLeavesTheMessageAlone) {
  signedIn();
  setUpDone();
  launch();
  startDictation();
  settings.setBool("active." + server.baseURL(), false);
  controller->refreshServiceState();
  runUntil([&] { return !state().serviceAvailable; });
  EXPECT_FALSE(state().accessActive);
  EXPECT_EQ(state().message, "錄音中；再按 右 Alt 完成");
}

struct Readiness {
  const char* name;
  bool permission;
  std::optional<std::string> key;
  std::string message;
};

class ServiceMessage : public ControllerFixture, public testing::WithParamInterface<Readiness> {};

TEST_P(ServiceMessage, NamesWhatIsMissing) {
  signedIn();
  setUpDone(GetParam().key);
  desktop.setTrusted(GetParam().permission);
  launch();
  EXPECT_EQ(state().message, GetParam().message);
}

const Readiness readiness[] = {
    {"ready", true, std::nullopt, "按 右 Alt 開始語音輸入"},
    {"readyWithAnotherKey", true, "leftCommand", "按 左 Super 開始語音輸入"},
    {"rightAltWithoutPermission", false, std::nullopt, Messages::rightAltNeedsAccessibility},
    {"anotherKeyWithoutPermission", false, "leftShift", "按 左 Shift 開始語音輸入"},
};

std::string readinessName(const testing::TestParamInfo<Readiness>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Account, ServiceMessage, testing::ValuesIn(readiness), readinessName);

TEST_F(Account, SigningInEnablesTheServiceAndIgnoresASecondPress) {
  setUpDone();
  launch();
  beginSignIn();
  asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
  settle();
  EXPECT_TRUE(state().activationInProgress);
  EXPECT_EQ(state().activationFeedback, "正在開啟 Apple 登入…");
  EXPECT_EQ(browser.shownPages.size(), 1u);

  server.approveSignIn(proposedToken());
  browser.answer("wrenly-auth://complete?state=" + stateOfShownPage());
  runUntil([&] { return !state().activationInProgress; });
  EXPECT_TRUE(state().accessActive);
  EXPECT_TRUE(state().serviceAvailable);
  EXPECT_EQ(state().accountStatus, AccountStatus{true});
  EXPECT_EQ(state().activationFeedback, "");
  EXPECT_EQ(state().message, "登入成功。");
  EXPECT_TRUE(loginLines().empty());

  // The new credential serves the next dictation.
  startDictation();
  speak(0.5);
  stopDictation();
  EXPECT_EQ(editorField->text(), "已整理的文字");
}

struct SignInFailure {
  const char* name;
  std::function<void(Account&)> end;
  std::string logLine;
};

class SignInFailures : public Account, public testing::WithParamInterface<SignInFailure> {};

TEST_P(SignInFailures, LeaveTheUserSignedOutWithOneLogLine) {
  setUpDone();
  launch();
  const auto message = state().message;
  browser.refuseToStart = !GetParam().end;
  beginSignIn();
  if (GetParam().end) GetParam().end(*this);
  runUntil([&] { return !state().activationInProgress; });
  EXPECT_EQ(state().activationFeedback, "未能完成 Apple 登入，請再試一次。");
  EXPECT_FALSE(state().accessActive);
  EXPECT_FALSE(state().serviceAvailable);
  EXPECT_EQ(state().message, message);
  EXPECT_THAT(loginLines(), ElementsAre(GetParam().logLine));
  EXPECT_FALSE(service.isActivated());
}

const SignInFailure signInFailures[] = {
    {"wrongState",
     [](Account& t) { t.browser.answer("wrenly-auth://complete?state=someone-else"); },
     "apple_login failed service=login_failed"},
    {"errorItem",
     [](Account& t) {
       t.browser.answer("wrenly-auth://complete?error=user_cancelled_authorize&state=" +
                        t.stateOfShownPage());
     },
     "apple_login failed service=login_failed"},
    {"cancelledByTheUser", [](Account& t) { t.controller->cancelSignIn(); },
     "apple_login failed code=1"},
    {"abandoned", [](Account& t) { t.clock.advance(BrowserSignIn::abandonAfter); },
     "apple_login failed code=1"},
    {"browserCannotOpen", nullptr, "apple_login failed service=login_unavailable"},
};

template <typename Row>
std::string failureName(const testing::TestParamInfo<Row>& param) {
  return param.param.name;
}

INSTANTIATE_TEST_SUITE_P(Account, SignInFailures, testing::ValuesIn(signInFailures),
                         failureName<SignInFailure>);

TEST_F(Account, ACancelDuringTheOpeningCallEndsTheSignInAndNoPageOpens) {
  setUpDone();
  launch();
  server.enqueue("POST", "account/mac/start", ContractService::Reply::stalled());
  const auto requests = server.requestCount();
  asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
  runUntil([&] { return server.requestCount() > requests; });
  controller->cancelSignIn();
  runUntil([&] { return !state().activationInProgress; });
  server.releaseStalled();
  settle();
  EXPECT_TRUE(browser.shownPages.empty());
  EXPECT_EQ(state().activationFeedback, "未能完成 Apple 登入，請再試一次。");
  EXPECT_THAT(loginLines(), ElementsAre("apple_login failed code=1"));
}

struct FailedAction {
  const char* name;
  std::function<asio::awaitable<void>(DictationController&)> action;
  const char* method;
  const char* path;
  ContractService::Reply reply;
  std::string message;
};

class FailedActions : public Account, public testing::WithParamInterface<FailedAction> {};

TEST_P(FailedActions, KeepTheUserSignedInAndEverythingLocal) {
  signedIn();
  setUpDone();
  launch();
  startDictation();
  speak(0.5);
  stopDictation();
  server.enqueue(GetParam().method, GetParam().path, GetParam().reply);
  perform(GetParam().action(*controller));
  EXPECT_EQ(state().message, GetParam().message);
  EXPECT_EQ(state().lastText, "已整理的文字");
  EXPECT_TRUE(state().accessActive);
  EXPECT_TRUE(state().serviceAvailable);
  EXPECT_TRUE(service.isActivated());
}

ContractService::Reply dropped() {
  ContractService::Reply reply;
  reply.dropConnection = true;
  return reply;
}

const FailedAction failedActions[] = {
    {"signOutOverADroppedConnection", [](DictationController& c) { return c.signOut(); }, "DELETE",
     "account/session", dropped(),
     "網絡連線發生錯誤（Server returned nothing (no headers, no data)）。"},
    {"deletionRefused", [](DictationController& c) { return c.removeAccess(); }, "DELETE", "access",
     ContractService::Reply::json(500, "{}"), "語音服務暫時無法使用，請稍後重試。"},
};

INSTANTIATE_TEST_SUITE_P(Account, FailedActions, testing::ValuesIn(failedActions),
                         failureName<FailedAction>);

TEST_F(Account, SigningOutKeepsTheLastTextAndTheKeptRecording) {
  dictateOnceAndFailOnce();
  perform(controller->signOut());
  EXPECT_EQ(state().message, "已登出。");
  EXPECT_FALSE(state().accessActive);
  EXPECT_FALSE(state().accountStatus);
  EXPECT_EQ(state().lastText, "已整理的文字");
  EXPECT_TRUE(state().hasRetryRecording);
}

TEST_F(Account, DeletingTheAccountClearsTheLastTextAndTheKeptRecording) {
  dictateOnceAndFailOnce();
  perform(controller->removeAccess());
  EXPECT_EQ(state().message, "帳戶及本機登入資料已刪除。");
  EXPECT_EQ(state().lastText, "");
  EXPECT_FALSE(state().hasRetryRecording);
  EXPECT_FALSE(state().accessActive);
  EXPECT_FALSE(state().serviceAvailable);

  const auto requests = server.requestCount();
  controller->retryLastRecording();  // nothing is kept any more
  settle();
  EXPECT_EQ(state().phase, DictationPhase::idle);
  EXPECT_EQ(server.requestCount(), requests);
}

TEST_F(Account, AccountActionsWaitForTheDictation) {
  signedIn();
  setUpDone();
  launch();
  startDictation();
  const auto requests = server.requestCount();
  perform(controller->signOut());
  perform(controller->removeAccess());
  perform(controller->signIn());
  EXPECT_EQ(server.requestCount(), requests);
  EXPECT_TRUE(browser.shownPages.empty());
  EXPECT_TRUE(state().accessActive);
}

}  // namespace
