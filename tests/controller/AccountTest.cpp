// The service-state check and the account actions: sign-in (through the real client and the
// loopback service), sign-out and account removal.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <regex>

#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "service/ServiceError.h"
#include "service/TransportError.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

using Lines = std::vector<std::string>;

namespace {

class Account : public ControllerFixture {
 public:
  // Runs one account action on the main loop to its end.
  void perform(asio::awaitable<void> action) { driver.finish(std::move(action)); }

  std::string stateOfShownPage() const {
    std::smatch m;
    const std::string& page = browser.shownPages.back();
    return std::regex_search(page, m, std::regex("state=([^&]+)")) ? m[1].str() : "";
  }

  // Signed in and ready, with one delivered text and, after a failed recognition, a kept
  // recording: what the account actions must keep or clear. During the first dictation the
  // action and a sign-in wait for it: neither runs.
  void dictateOnceAndFailOnce(const std::function<asio::awaitable<void>()>& act) {
    launchReady();
    startDictation();
    perform(act());
    perform(controller->signIn());
    EXPECT_EQ(memory.calls.size(), 1u);  // the launch's account status
    EXPECT_TRUE(browser.shownPages.empty());
    speak(0.5);
    stopDictation();
    memory.fail("transcribe", std::make_exception_ptr(ServiceError::rejected(500)));
    dictate();
    ASSERT_TRUE(state().hasRetryRecording);
  }
};

// A fresh installation asks to sign in (in the local service's wording: it signs in on its own
// page); signed in, two refreshes in a row make one check, and only the local service is asked
// which engine listens.
TEST_F(Account, TheServiceCheckAsksToSignInOrChecksTheAccountOnceAndTheLocalEngine) {
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

  memory.engine = EngineInfo{false, {VoiceLanguage::cantonese, VoiceLanguage::mandarin}};
  signedIn();
  for (bool local : {false, true}) {
    memory.local = local;
    const auto checks = accountChecks();
    launch(false);
    controller->refreshServiceState();
    controller->refreshServiceState();
    runUntil([&] { return state().accountStatus.has_value(); });
    settle();
    EXPECT_EQ(state().message, Messages::ready(Messages::rightAltTitle));
    EXPECT_EQ(state().accountStatus, AccountStatus{true});
    EXPECT_EQ(accountChecks() - checks, 1u);
    EXPECT_EQ(state().engine, local ? std::optional(memory.engine) : std::nullopt);
    EXPECT_EQ(memory.count("engineInfo"), local ? 1u : 0u);
  }
}

struct SignIn {
  const char* name;
  bool stallOpening;                  // the service holds the opening call
  std::function<void(Account&)> end;  // of the waiting sign-in; none: the browser cannot open
  std::string logLine;                // none: approved
};

class SignIns : public Account, public testing::WithParamInterface<SignIn> {};

TEST_P(SignIns, EnableTheServiceWhenApprovedOrLeaveTheUserSignedOutWithOneLogLine) {
  loopback = true;
  setUpDone();
  launch();
  const auto message = state().message;
  const bool stall = GetParam().stallOpening, approved = GetParam().logLine.empty();
  if (stall) server.enqueue("POST", "account/mac/start", ContractServer::Reply::stalled());
  browser.refuseToStart = !GetParam().end;
  const auto requests = server.requestCount();
  asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
  runUntil([&] {
    return browser.waiting() || !state().activationInProgress ||
           (stall && server.requestCount() > requests);
  });
  if (state().activationInProgress) {
    // A second press is ignored; the loopback service signs in on its own page, and the texts
    // say so.
    asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
    settle();
    EXPECT_EQ(state().activationFeedback, Messages::serviceSignIn.opening);
  }
  if (GetParam().end) GetParam().end(*this);
  runUntil([&] { return !state().activationInProgress; });
  server.releaseStalled();
  settle();
  EXPECT_EQ(browser.shownPages.size(), stall ? 0u : 1u);
  EXPECT_EQ(state().activationFeedback, approved ? "" : Messages::serviceSignIn.failed);
  EXPECT_EQ(state().accessActive, approved);
  EXPECT_EQ(state().serviceAvailable, approved);
  EXPECT_EQ(state().accountStatus, approved ? std::optional(AccountStatus{true}) : std::nullopt);
  EXPECT_EQ(state().message, approved ? std::string(Messages::signedIn) : message);
  EXPECT_EQ(cycleLines(), approved ? Lines{} : Lines{GetParam().logLine});
  EXPECT_EQ(service.isActivated(), approved);
  if (!approved) return;
  // The new credential serves the next dictation.
  dictate();
  EXPECT_EQ(editorField->text(), "已整理的文字");
}

const auto cancel = [](Account& t) { t.controller->cancelSignIn(); };

const SignIn signIns[] = {
    {"approved", false,
     [](Account& t) {
       t.server.approveSignIn();
       t.browser.answer("wrenly-auth://complete?state=" + t.stateOfShownPage());
     },
     ""},
    {"wrongState", false,
     [](Account& t) { t.browser.answer("wrenly-auth://complete?state=someone-else"); },
     "apple_login failed service=login_failed"},
    {"cancelledByTheUser", false, cancel, "apple_login failed code=1"},
    {"cancelledDuringTheOpeningCall", true, cancel, "apple_login failed code=1"},
    {"browserCannotOpen", false, nullptr, "apple_login failed service=login_unavailable"},
};

INSTANTIATE_TEST_SUITE_P(Account, SignIns, testing::ValuesIn(signIns),
                         [](const auto& row) { return row.param.name; });

class SignOutOrRemoval : public Account, public testing::WithParamInterface<bool> {};

TEST_P(SignOutOrRemoval, WaitsForADictationStopsPressesThenFailsKeepingAllThenKeepsOrClearsTexts) {
  const bool removal = GetParam();
  const std::string call = removal ? "removeAccess" : "signOut";
  const auto act = [&] { return removal ? controller->removeAccess() : controller->signOut(); };
  dictateOnceAndFailOnce(act);
  const auto failure = removal ? std::make_exception_ptr(ServiceError::rejected(500))
                               : std::make_exception_ptr(TransportError(CURLE_GOT_NOTHING));
  memory.fail(call, failure);
  memory.hold(call);
  bool done = false;
  asio::co_spawn(loop, act(), [&](std::exception_ptr) { done = true; });
  runUntil([&] { return memory.calls.back().name == call; });
  // While it runs, a press or a retry says why nothing starts.
  for (auto press : {&DictationController::toggle, &DictationController::retryLastRecording}) {
    const int shows = overlay.shows;
    ((*controller).*press)();
    settle();
    EXPECT_EQ(state().phase, DictationPhase::idle);
    EXPECT_EQ(state().message, Messages::accountActionRunning);
    EXPECT_EQ(state().overlayNotice, Messages::accountActionRunningNotice);
    EXPECT_EQ(overlay.shows, shows + 1);
  }
  memory.release();
  runUntil([&] { return done; });
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
  }
  EXPECT_EQ(mic.enginesMade(), 2);
  EXPECT_EQ(memory.count("transcribe"), 2u);
}

INSTANTIATE_TEST_SUITE_P(Account, SignOutOrRemoval, testing::Bool());

}  // namespace
