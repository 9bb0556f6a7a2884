// The service-state check and the account actions: sign-in (through the real client and the
// loopback service), sign-out and account removal.

#include <curl/curl.h>
#include <gmock/gmock.h>

#include <regex>

#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "service/ServiceError.h"
#include "service/TransportError.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

using testing::ElementsAre;

namespace {

class Account : public ControllerFixture {
 public:
  // Runs one account action on the main loop to its end.
  void perform(asio::awaitable<void> action) { driver.finish(std::move(action)); }

  // Starts a sign-in from the window and runs until the browser shows the sign-in page.
  void beginSignIn() {
    asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
    runUntil([&] { return browser.waiting() || !state().activationInProgress; });
  }
  std::string stateOfShownPage() const {
    std::smatch m;
    const std::string& page = browser.shownPages.back();
    return std::regex_search(page, m, std::regex("state=([^&]+)")) ? m[1].str() : "";
  }

  // Signed in and ready, with one delivered text and, after a failed recognition, a kept
  // recording: what the account actions must keep or clear.
  void dictateOnceAndFailOnce() {
    launchReady();
    for (const bool fail : {false, true}) {
      if (fail) memory.fail("transcribe", std::make_exception_ptr(ServiceError::rejected(500)));
      dictate();
    }
    ASSERT_TRUE(state().hasRetryRecording);
  }

  std::vector<std::string> signInLines() const {
    std::vector<std::string> lines;
    for (const auto& line : cycleLines()) {
      if (line.starts_with("apple_login")) lines.push_back(line);
    }
    return lines;
  }
};

// With the local service, which signs in on its own page (the Apple wording is StartTest's).
TEST_F(Account, AFreshInstallationAsksToSignIn) {
  memory.local = true;
  setUpDone();
  launch(false);
  EXPECT_EQ(state().message, Messages::checkingService);
  EXPECT_FALSE(state().serviceStatusLoaded);
  controller->refreshServiceState();
  runUntil([&] { return state().serviceStatusLoaded; });
  EXPECT_FALSE(state().accessActive);
  EXPECT_FALSE(state().serviceAvailable);
  EXPECT_EQ(state().message, Messages::serviceSignIn.prompt);
  EXPECT_TRUE(memory.calls.empty());
}

TEST_F(Account, TwoRefreshesInARowMakeOneCheck) {
  signedIn();
  setUpDone();
  launch(false);
  controller->refreshServiceState();
  controller->refreshServiceState();
  runUntil([&] { return state().accountStatus.has_value(); });
  EXPECT_EQ(state().message, Messages::ready(Messages::rightAltTitle));
  EXPECT_EQ(state().accountStatus, AccountStatus{true});
  EXPECT_EQ(accountChecks(), 1u);
}

TEST_F(Account, OnlyTheLocalServiceIsAskedWhichEngineListens) {
  for (bool local : {false, true}) {
    memory.local = local;
    memory.engine = EngineInfo{false, {VoiceLanguage::cantonese, VoiceLanguage::mandarin}};
    signedIn();
    setUpDone();
    launch(false);
    controller->refreshServiceState();
    runUntil([&] { return state().accountStatus.has_value(); });
    settle();
    EXPECT_EQ(state().engine, local ? std::optional(memory.engine) : std::nullopt);
    EXPECT_EQ(memory.count("engineInfo"), local ? 1u : 0u);
  }
}

TEST_F(Account, ACheckDuringARecordingLeavesTheMessageAlone) {
  launchReady();
  startDictation();
  signedOut();
  controller->refreshServiceState();
  runUntil([&] { return !state().serviceAvailable; });
  EXPECT_FALSE(state().accessActive);
  EXPECT_EQ(state().message, Messages::recording(Messages::rightAltTitle));
}

TEST_F(Account, SigningInEnablesTheServiceAndIgnoresASecondPress) {
  loopback = true;
  setUpDone();
  launch();
  beginSignIn();
  asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
  settle();
  EXPECT_TRUE(state().activationInProgress);
  // The loopback service signs in on its own page, and the texts say so.
  EXPECT_EQ(state().activationFeedback, Messages::serviceSignIn.opening);
  EXPECT_EQ(browser.shownPages.size(), 1u);

  server.approveSignIn();
  browser.answer("wrenly-auth://complete?state=" + stateOfShownPage());
  runUntil([&] { return !state().activationInProgress; });
  EXPECT_TRUE(state().accessActive);
  EXPECT_TRUE(state().serviceAvailable);
  EXPECT_EQ(state().accountStatus, AccountStatus{true});
  EXPECT_EQ(state().activationFeedback, "");
  EXPECT_EQ(state().message, Messages::signedIn);
  EXPECT_TRUE(signInLines().empty());

  // The new credential serves the next dictation.
  dictate();
  EXPECT_EQ(editorField->text(), "已整理的文字");
}

struct SignInFailure {
  const char* name;
  bool stallOpening;  // the service holds the opening call
  std::function<void(Account&)> end;
  std::string logLine;
};

class SignInFailures : public Account, public testing::WithParamInterface<SignInFailure> {};

TEST_P(SignInFailures, LeaveTheUserSignedOutWithOneLogLine) {
  loopback = true;
  setUpDone();
  launch();
  const auto message = state().message;
  const bool stall = GetParam().stallOpening;
  if (stall) server.enqueue("POST", "account/mac/start", ContractService::Reply::stalled());
  browser.refuseToStart = !GetParam().end;
  const auto requests = server.requestCount();
  asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
  runUntil([&] {
    return browser.waiting() || !state().activationInProgress ||
           (stall && server.requestCount() > requests);
  });
  if (GetParam().end) GetParam().end(*this);
  runUntil([&] { return !state().activationInProgress; });
  server.releaseStalled();
  settle();
  EXPECT_EQ(browser.shownPages.empty(), stall);
  EXPECT_EQ(state().activationFeedback, Messages::serviceSignIn.failed);
  EXPECT_FALSE(state().accessActive);
  EXPECT_FALSE(state().serviceAvailable);
  EXPECT_EQ(state().message, message);
  EXPECT_THAT(signInLines(), ElementsAre(GetParam().logLine));
  EXPECT_FALSE(service.isActivated());
}

const auto cancel = [](Account& t) { t.controller->cancelSignIn(); };

const SignInFailure signInFailures[] = {
    {"wrongState", false,
     [](Account& t) { t.browser.answer("wrenly-auth://complete?state=someone-else"); },
     "apple_login failed service=login_failed"},
    {"cancelledByTheUser", false, cancel, "apple_login failed code=1"},
    {"cancelledDuringTheOpeningCall", true, cancel, "apple_login failed code=1"},
    {"browserCannotOpen", false, nullptr, "apple_login failed service=login_unavailable"},
};

INSTANTIATE_TEST_SUITE_P(Account, SignInFailures, testing::ValuesIn(signInFailures),
                         [](const auto& row) { return row.param.name; });

class SignOutOrRemoval : public Account, public testing::WithParamInterface<bool> {};

TEST_P(SignOutOrRemoval, FirstFailsAndKeepsEverythingThenKeepsOrClearsTheUsersTexts) {
  const bool removal = GetParam();
  const auto act = [&] { return removal ? controller->removeAccess() : controller->signOut(); };
  dictateOnceAndFailOnce();
  const auto failure = removal ? std::make_exception_ptr(ServiceError::rejected(500))
                               : std::make_exception_ptr(TransportError(CURLE_GOT_NOTHING));
  memory.fail(removal ? "removeAccess" : "signOut", failure);
  perform(act());
  EXPECT_EQ(state().message, describe(failure));
  EXPECT_TRUE(state().accessActive);
  EXPECT_TRUE(state().serviceAvailable);
  EXPECT_EQ(state().lastText, "已整理的文字");
  EXPECT_TRUE(state().hasRetryRecording);

  perform(act());
  EXPECT_EQ(state().message, removal ? Messages::accountDeleted : Messages::signedOut);
  EXPECT_FALSE(state().accessActive);
  EXPECT_FALSE(state().serviceAvailable);
  EXPECT_FALSE(state().accountStatus);
  EXPECT_EQ(state().lastText, removal ? "" : "已整理的文字");
  EXPECT_EQ(state().hasRetryRecording, !removal);
  if (removal) {
    controller->retryLastRecording();  // nothing is kept any more
    settle();
    EXPECT_EQ(state().phase, DictationPhase::idle);
    EXPECT_EQ(memory.count("transcribe"), 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(Account, SignOutOrRemoval, testing::Bool());

TEST_F(Account, AccountActionsWaitForTheDictation) {
  launchReady();
  startDictation();
  perform(controller->signOut());
  perform(controller->removeAccess());
  perform(controller->signIn());
  EXPECT_EQ(memory.calls.size(), 1u);  // the launch's account status
  EXPECT_TRUE(browser.shownPages.empty());
  EXPECT_TRUE(state().accessActive);
}

}  // namespace
