// The service-state check and the account actions: sign-in (through the real client and the
// loopback service), sign-out and account removal; the history of dictations, which removal
// forgets; and the wording of errors the program did not raise itself.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <pulse/def.h>

#include <boost/json/parse.hpp>
#include <fstream>
#include <regex>

#include "base/FileHistoryStore.h"
#include "base/StoredNames.h"
#include "controller/DictationHistory.h"
#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "platform/linux/pulse/PulseError.h"
#include "service/ServiceError.h"
#include "service/TransportError.h"
#include "support/TemporaryDirectory.h"
#include "support/controller/ControllerFixture.h"

using namespace wrenly;

namespace fs = std::filesystem;

using Lines = std::vector<std::string>;

namespace {

class Account : public ControllerFixture {
 public:
  // Runs one account action on the main loop to its end.
  void perform(asio::awaitable<void> action) { driver.finish(std::move(action)); }
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
       std::smatch page;
       std::regex_search(t.browser.shownPages.back(), page, std::regex("state=([^&]+)"));
       t.browser.answer("wrenly-auth://complete?state=" + page[1].str());
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
  // Signed in and ready, with one delivered text and, after a failed recognition, a kept
  // recording: what the action must keep or clear. During the first dictation the action and a
  // sign-in wait for it: neither runs.
  launchReady();
  startDictation();
  perform(act());
  // Spawned, not awaited: a sign-in that wrongly ran would wait for the browser.
  asio::co_spawn(loop, controller->signIn(), [](std::exception_ptr) {});
  settle();
  EXPECT_FALSE(state().activationInProgress);
  EXPECT_EQ(memory.calls.size(), 1u);  // the launch's account status
  EXPECT_TRUE(browser.shownPages.empty());
  speak(0.5);
  stopDictation();
  memory.fail("transcribe", std::make_exception_ptr(ServiceError::rejected(500)));
  dictate();
  ASSERT_TRUE(state().hasRetryRecording);
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

using Texts = std::vector<std::string>;

HistoryEntry said(std::string text) {
  HistoryEntry entry;
  entry.text = std::move(text);
  entry.time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 7};
  entry.application = "org.example.Editor";
  return entry;
}

Texts texts(const std::vector<HistoryEntry>& entries) {
  Texts out;
  for (const auto& entry : entries) out.push_back(entry.text);
  return out;
}

// A history over a file in a scratch folder, and what was reported about that file.
struct OnDisk {
  TemporaryDirectory dir;
  fs::path file = dir / StoredNames::historyFileName;
  MemorySettings settings;
  std::vector<std::string> reports;
  FileHistoryStore store{file, [this](const std::string& line) { reports.push_back(line); }};
  // The program started again over the same file and settings.
  DictationHistory restart() { return DictationHistory(settings, &store); }
};

TEST(DictationHistory, KeepsTheNewestTwentyOnDiskOnlyWhileTheSettingSaysSo) {
  OnDisk disk;
  auto history = disk.restart();
  history.add(said("1"));
  EXPECT_TRUE(disk.restart().entries().empty()) << "memory only by default";
  history.keepOnDisk(true);
  for (int i = 2; i <= 22; ++i) history.add(said(std::to_string(i)));
  EXPECT_EQ(history.find(2), nullptr) << "the oldest went";
  EXPECT_EQ(fileMode(disk.file), 0600u);
  auto restarted = disk.restart();
  ASSERT_EQ(restarted.entries().size(), DictationHistory::limit);
  EXPECT_EQ(restarted.entries().front().text, "22");
  auto oldest = said("3");
  oldest.id = restarted.entries().back().id;
  EXPECT_EQ(*restarted.find(oldest.id), oldest) << "time and application kept";
  restarted.clear();
  EXPECT_FALSE(fs::exists(disk.file));
  restarted.add(said("after"));
  restarted.keepOnDisk(false);
  EXPECT_FALSE(fs::exists(disk.file));
  EXPECT_EQ(texts(restarted.entries()), Texts{"after"}) << "memory stays";
  EXPECT_TRUE(disk.reports.empty());
}

TEST(DictationHistory, AnUnreadableFileIsSetAsideReportedAndNotReadBack) {
  for (const std::string broken :
       {"{not json", "[]", R"({"entries":{}})", R"({"entries":[{"text":1,"time":0}]})",
        R"({"entries":[{"text":"a"}]})",
        R"({"entries":[{"text":"a","time":0,"application":2}]})"}) {
    SCOPED_TRACE(broken);
    OnDisk disk;
    disk.settings.setBool(StoredNames::historyOnDiskKey, true);
    std::ofstream(disk.file) << broken;
    auto history = disk.restart();
    EXPECT_TRUE(history.entries().empty());
    EXPECT_EQ(disk.reports.size(), 1u);
    EXPECT_FALSE(fs::exists(disk.file));
    EXPECT_EQ(readFile(fs::directory_iterator(disk.dir.path())->path()), broken) << "set aside";
    history.add(said("after"));
    EXPECT_EQ(texts(disk.restart().entries()), Texts{"after"});
  }
}

// One dictation into the editor, with the history kept over a scratch file; a second editor
// whose field has focus, not yet in front.
struct History : ControllerProgram {
  History() {
    notes.focus(notesField).openWindow();
    platform.history = &disk.store;
    launchReady();
    dictate();
  }
  OnDisk disk;
  FakeApplication& notes = desktop.launch("org.example.Notes");
  std::shared_ptr<FakeElement> notesField = notes.addField();
};

TEST(DictationHistoryInTheProgram, KeepsEachTextWithTimeAndApplicationForCopyDiskAndClear) {
  History t;
  ASSERT_EQ(t.state().history.size(), 1u);
  const HistoryEntry entry = t.state().history[0];
  EXPECT_EQ(entry.text, "已整理的文字");
  EXPECT_EQ(entry.application, "org.example.Editor");
  EXPECT_LE(entry.time, t.clock.wallTime());
  using Copy = std::function<void()>;
  for (const Copy& copy : {Copy([&] { t.controller->copyLastText(); }),
                           Copy([&] { t.controller->copyHistoryEntry(entry.id); })}) {
    t.desktop.clipboard.setContents("something else");
    copy();
    EXPECT_EQ(t.desktop.clipboard.contents(), entry.text);
    EXPECT_EQ(t.state().message, Messages::copiedLastText);
  }
  EXPECT_FALSE(fs::exists(t.disk.file));
  t.controller->keepHistoryOnDisk(true);
  EXPECT_EQ(texts(t.disk.store.load()), Texts{entry.text});
  t.controller->clearHistory();
  EXPECT_TRUE(t.state().history.empty());
  EXPECT_FALSE(fs::exists(t.disk.file));
  t.desktop.clipboard.refuseWrites();
  t.controller->copyLastText();
  EXPECT_EQ(t.state().message, Messages::copyFailed);
}

TEST(DictationHistoryInTheProgram, PasteAgainGoesWhereADictationWouldAndSaysHowItEnded) {
  struct Row {
    bool leftForTheWindow, passwordField;
    const char* pasted;
    const char* notice;
  };
  for (const Row row : {Row{false, false, "已整理的文字", Messages::pasteSentNotice},
                        Row{true, false, "已整理的文字", Messages::pasteSentNotice},
                        Row{false, true, "", Messages::copiedNotice}}) {
    SCOPED_TRACE(testing::Message() << row.leftForTheWindow << row.passwordField);
    History t;
    t.notesField->setSecure(row.passwordField);
    t.activate(t.notes);
    if (row.leftForTheWindow) t.activate(t.desktop.self(), &t.notes);
    t.controller->pasteHistoryEntry(t.state().history[0].id);
    t.runUntil([&] { return t.state().phase == DictationPhase::idle; }, true);
    EXPECT_EQ(t.notesField->text(), row.pasted);
    EXPECT_EQ(t.editorField->text(), "已整理的文字") << "the first editor got it once";
    EXPECT_EQ(t.state().overlayNotice, row.notice);
  }
}

// Errors the program did not raise itself still tell the user what failed: the
// wording in full, as the user reads it.

// What the JSON parser throws for a reply that is not JSON.
std::exception_ptr parserError(std::string_view reply) {
  try {
    boost::json::parse(reply);
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

TEST(ErrorDescription, PlatformErrorsSayWhatFailedWithThePlatformsOwnText) {
  using std::make_exception_ptr;
  const std::tuple<std::exception_ptr, std::string, std::string> rows[] = {
      {make_exception_ptr(pulseError(PA_ERR_ACCESS, "open")), "",
       "音訊伺服器未能開啟麥克風（Access denied）。"},
      {make_exception_ptr(std::system_error(make_error_code(std::errc::device_or_resource_busy))),
       Messages::microphoneNotStarted, "麥克風無法啟動（Device or resource busy）。"},
      {parserError("<html>"), "", "未能讀取語音服務的回應（syntax error）。"},
      {make_exception_ptr(TransportError(CURLE_RECV_ERROR)), "",
       "網絡連線發生錯誤（Failure when receiving data from the peer）。"},
  };
  for (const auto& [error, whatFailed, description] : rows) {
    EXPECT_EQ(describe(error, whatFailed), description);
  }
}

}  // namespace
