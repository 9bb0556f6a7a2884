#include <gtest/gtest.h>

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollArea>
#include <string>
#include <vector>

#include "ViewTesting.h"
#include "app/MainView.h"
#include "app/MenuActions.h"
#include "app/MeterGeometry.h"
#include "app/TrayIcon.h"
#include "app/WindowContent.h"
#include "messages/Messages.h"
#include "messages/ShellMessages.h"

using namespace wrenly;

namespace {

namespace T = ShellMessages;

class RecordedActions final : public MenuActions {
 public:
  std::vector<std::string> calls;
  void openAccessibilitySettings() override { calls.push_back("openAccessibilitySettings"); }
  void recheckPermission() override { calls.push_back("recheckPermission"); }
  void confirmDetectedTriggerKey() override { calls.push_back("confirmDetectedTriggerKey"); }
  void toggle() override { calls.push_back("toggle"); }
  void resetTriggerKeySetup() override { calls.push_back("resetTriggerKeySetup"); }
  void setTriggerMode(TriggerMode mode) override {
    calls.push_back("mode:" + std::string(rawValue(mode)));
  }
  void retryLastRecording() override { calls.push_back("retryLastRecording"); }
  void signIn() override { calls.push_back("signIn"); }
  void signOut() override { calls.push_back("signOut"); }
  void removeAccess() override { calls.push_back("removeAccess"); }
  void requestAccessibility() override { calls.push_back("requestAccessibility"); }
  void setStreamingConsent(bool on) override { calls.push_back(on ? "consent:on" : "consent:off"); }
  void copyLastText() override { calls.push_back("copyLastText"); }
  void addOwnWords(std::string text, bool fromFile) override {
    calls.push_back((fromFile ? "import:" : "add:") + text);
  }
  void removeOwnWord(std::string line) override { calls.push_back("remove:" + line); }
  void copyHistoryEntry(std::uint64_t id) override {
    calls.push_back("copy:" + std::to_string(id));
  }
  void pasteHistoryEntry(std::uint64_t id) override {
    calls.push_back("paste:" + std::to_string(id));
  }
  void clearHistory() override { calls.push_back("clearHistory"); }
  void keepHistoryOnDisk(bool on) override { calls.push_back(on ? "disk:on" : "disk:off"); }
  void showDiagnostics() override { calls.push_back("showDiagnostics"); }
  void openPrivacyPage() override { calls.push_back("openPrivacyPage"); }
  void quit() override { calls.push_back("quit"); }
};

ShellSnapshot ready() {
  ShellSnapshot s;
  s.hasAccessibility = true;
  s.voice.permissionGranted = s.voice.setupComplete = s.voice.serviceStatusLoaded = true;
  s.voice.triggerKeyTitle = "右 Alt";
  return s;
}

bool shows(const QStringList& texts, const std::string& text) {
  for (const QString& shown : texts) {
    if (shown.contains(QString::fromStdString(text))) return true;
  }
  return false;
}

struct ViewCase {
  const char* name;
  ShellSnapshot state;
  std::vector<std::string> shown;
  std::vector<std::string> hidden;
  std::vector<std::string> enabled;
  std::vector<std::string> disabled;
};

// Each case: its name, the state, the texts shown and hidden, the buttons enabled and disabled.
std::vector<ViewCase> viewCases() {
  std::vector<ViewCase> cases;
  ShellSnapshot s;
  s.voice.setupComplete = true;  // without the permission only step 1 shows
  s.voice.permissionFeedback = "10:02 · 仍未取得權限。";
  // clang-format off
  cases.push_back({"step 1", s,
                   {T::step1Heading, "10:02 · 仍未取得權限。", T::waitingForPermission},
                   {T::step2Heading, T::startDictation},
                   {T::openAccessibilitySettings, T::recheckPermission, T::quit}, {}});
  s = {};
  s.voice.permissionGranted = true;
  cases.push_back({"step 2 waiting", s, {T::step2Heading, T::waitingForKey, T::holdToTalkHint},
                   {T::step1Heading, T::keyDetectionOff, T::restartKeyDetection}, {},
                   {T::confirmTriggerKey}});
  s.voice.detectedTriggerKey = TriggerKey::leftShift;
  s.voice.triggerKeyAvailable = false;
  cases.push_back({"step 2 detected, detector off", s,
                   {T::detectedPrefix + std::string(Messages::leftShiftTitle), T::keyDetectionOff},
                   {T::waitingForKey}, {T::confirmTriggerKey, T::restartKeyDetection}, {}});
  s = ready();
  s.voice.serviceStatusLoaded = false;
  s.hasAccessibility = false;
  s.voice.message = "<b>正在檢查語音服務…</b>";
  cases.push_back({"main, signed out, checking", s,
                   {"<b>正在檢查語音服務…</b>", T::checkingKeyring, T::autoPasteOff,
                    T::triggerKeyLabel + std::string("右 Alt"), T::privacy},
                   {T::step1Heading, T::step2Heading, T::signOut, T::deleteAccount,
                    T::retryLastRecording, T::copyLastText, T::holdUnavailable},
                   {T::startDictation, T::signIn, T::liveRecognition, T::resetTriggerKey,
                    Messages::holdModeTitle}, {}});
  s = ready();
  s.voice.phase = DictationPhase::processing;
  s.voice.hasRetryRecording = true;
  s.voice.accessActive = true;
  s.voice.lastText = "a < b & <i>c</i>";
  cases.push_back({"processing, signed in", s, {"a < b & <i>c</i>"},
                   {T::checkingKeyring, T::autoPasteOff, T::signIn, T::privacy},
                   {T::signOut, T::copyLastText}, {T::startDictation, T::liveRecognition,
                                                   T::retryLastRecording, T::deleteAccount}});
  s.voice.localService = true;  // the local service signs in on its own page, not Apple's
  cases.push_back({"processing, signed in to the local service", s, {}, {T::signOut},
                   {T::signOutOfService}, {}});
  s = ready();
  s.voice.localService = true;
  cases.push_back({"signed out of the local service", s, {T::signInToService}, {T::signIn}, {},
                   {}});
  s = ready();
  s.voice.phase = DictationPhase::recording;
  cases.push_back({"recording", s, {}, {T::startDictation}, {T::finishRecording},
                   {T::signIn, T::liveRecognition}});
  s = ready();
  s.voice.activationInProgress = true;
  s.voice.activationFeedback = "請在瀏覽器完成登入";
  cases.push_back({"signing in", s, {"請在瀏覽器完成登入"}, {T::signIn}, {T::startDictation},
                   {T::signingIn}});
  // clang-format on
  return cases;
}

// The window at its usual width, with the actions it calls recorded.
struct MenuViewAt460 : testing::Test {
  QApplication& app = testApplication();
  RecordedActions actions;
  WindowContent view{actions, 460};
};

TEST(MenuView, StateDecidesTextsStepsAndEnabledControlsInBothWidths) {
  testApplication();
  RecordedActions actions;
  for (int width : {460, 340}) {
    WindowContent view(actions, width);
    for (const ViewCase& c : viewCases()) {
      SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(width));
      view.render(c.state);
      const QStringList texts = visibleTexts(view);
      for (const auto& text : c.shown) EXPECT_TRUE(shows(texts, text)) << text;
      for (const auto& text : c.hidden) EXPECT_FALSE(shows(texts, text)) << text;
      for (bool enabled : {true, false}) {
        for (const auto& text : enabled ? c.enabled : c.disabled) {
          QAbstractButton* button = visibleButton(view, QString::fromStdString(text));
          ASSERT_NE(button, nullptr) << text;
          EXPECT_EQ(button->isEnabled(), enabled) << text;
        }
      }
    }
  }
}

TEST_F(MenuViewAt460, ControllerTextsAreNeverReadAsMarkup) {
  ShellSnapshot s = ready();
  s.voice.message = s.voice.lastText = s.voice.activationFeedback = "<img src=x>";
  view.render(s);
  int found = 0;
  for (QLabel* label : view.findChildren<QLabel*>()) {
    if (label->text() != "<img src=x>") continue;
    ++found;
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
  }
  EXPECT_EQ(found, 3);
}

TEST_F(MenuViewAt460, ControlsCallTheirActionsAndDeletionAsksFirst) {
  ShellSnapshot s = ready();
  s.voice.accessActive = true;
  s.voice.lastText = "x";
  s.voice.hasRetryRecording = true;
  view.render(s);
  for (const char* text :
       {T::startDictation, T::resetTriggerKey, Messages::holdModeTitle, T::liveRecognition,
        T::retryLastRecording, T::signOut, T::copyLastText, T::servicesAndPermissions,
        T::requestAccessibility, T::showDiagnostics, T::deleteAccount}) {
    QAbstractButton* button = visibleButton(view, QString::fromUtf8(text));
    ASSERT_NE(button, nullptr) << text;
    button->click();
  }
  EXPECT_EQ(actions.calls,
            (std::vector<std::string>{"toggle", "resetTriggerKeySetup", "mode:hold", "consent:on",
                                      "retryLastRecording", "signOut", "copyLastText",
                                      "requestAccessibility", "showDiagnostics"}));
  QMessageBox* dialog = view.mainView().deleteDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), T::deleteTitle);
  visibleButton(*dialog, T::deleteConfirm)->click();
  EXPECT_EQ(actions.calls.back(), "removeAccess");
}

TEST_F(MenuViewAt460, OnlyAChangeOfLiveRecognitionFromOutsideIsSentBack) {
  ShellSnapshot s = ready();
  for (bool consent : {true, false}) {
    s.voice.streamingConsent = consent;
    view.render(s);
  }
  EXPECT_TRUE(actions.calls.empty());
  // What the accessibility toolkit's toggle action does: no click.
  visibleButton(view, T::liveRecognition)->toggle();
  EXPECT_EQ(actions.calls, std::vector<std::string>{"consent:on"});
}

// A screen reader counts the scroll area's children, then the view grows or shrinks and the
// scroll bar hides before it asks for the last one: the answer is none, never a wild pointer.
TEST_F(MenuViewAt460, ScrollAreaAnswersAReaderThatCountedBeforeTheBarHid) {
  auto* area = view.findChild<QScrollArea*>();
  ASSERT_NE(area, nullptr);
  view.render(ready());
  view.resize(460, 200);
  view.show();
  app.processEvents();
  QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(area);
  ASSERT_NE(reader, nullptr);
  const int counted = reader->childCount();
  ASSERT_EQ(counted, 2);  // the viewport and the vertical bar
  view.resize(460, 4000);
  app.processEvents();
  EXPECT_EQ(reader->childCount(), 1);
  EXPECT_NE(reader->child(0), nullptr);
  for (int index : {counted - 1, counted, 64, -1})
    EXPECT_EQ(reader->child(index), nullptr) << index;
}

// The list shows the controller's entries; a typed line is sent as it is and stays in the field
// when it cannot be read, and the selected entry is the one removed.
TEST_F(MenuViewAt460, OwnWordsListSendsItsChanges) {
  ShellSnapshot s = ready();
  s.voice.ownWords = std::make_shared<const OwnWords>(
      OwnWords{{"Kowloon Tong"}, {{"github", "GitHub"}, {"嗯", ""}}});
  s.voice.ownWordsNote = Messages::ownWordsAdded(3);
  view.render(s);
  visibleButton(view, T::ownWords)->click();
  EXPECT_TRUE(shows(visibleTexts(view), Messages::ownWordsAdded(3)));
  auto* list = view.findChild<QListWidget*>();
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->text(), "github => GitHub");
  EXPECT_EQ(list->item(1)->text(), "嗯 =>");
  auto* entry = view.findChild<QLineEdit*>();
  for (const char* typed : {"teh => the", "=> x"}) {
    entry->setText(QString::fromUtf8(typed));
    visibleButton(view, T::ownWordsAdd)->click();
  }
  EXPECT_EQ(entry->text(), "=> x");
  list->setCurrentRow(2);
  visibleButton(view, T::ownWordsRemove)->click();
  EXPECT_EQ(actions.calls,
            (std::vector<std::string>{"add:teh => the", "add:=> x", "remove:Kowloon Tong"}));
}

TEST_F(MenuViewAt460, TheHistoryOpensToItsEntriesAndTheirActions) {
  ShellSnapshot s = ready();
  for (const std::uint64_t id : {7, 3}) {
    s.voice.history.push_back(
        {id, "<b>" + std::to_string(id) + "</b>\n第二行", {}, "org.xfce.mousepad"});
  }
  s.voice.phase = DictationPhase::processing;
  view.render(s);
  visibleButton(view, T::historyTitle)->click();
  const QStringList texts = visibleTexts(view);
  EXPECT_TRUE(texts.contains("<b>7</b>")) << "the first line, as plain text";
  EXPECT_TRUE(shows(texts, " · mousepad"));
  EXPECT_FALSE(visibleButton(view, T::pasteEntry)->isEnabled()) << "not during a dictation";
  s.voice.phase = DictationPhase::idle;
  view.render(s);
  const auto nth = [&](const char* text, int index) {  // the entries' buttons, in order
    QList<QAbstractButton*> found;
    for (QAbstractButton* button : view.findChildren<QAbstractButton*>()) {
      if (button->text() == text) found << button;
    }
    return found.at(index);
  };
  nth(T::copyEntry, 0)->click();
  nth(T::pasteEntry, 1)->click();
  visibleButton(view, T::clearHistory)->click();
  visibleButton(view, T::historyOnDisk)->click();
  EXPECT_EQ(actions.calls,
            (std::vector<std::string>{"copy:7", "paste:3", "clearHistory", "disk:on"}));
}

TEST(WindowMeter, BarHeightsFollowTheLevel) {
  struct Case {
    float level;
    double middle, outer;
  };
  for (const Case& c :
       {Case{0, 4, 4}, Case{-2, 4, 4}, Case{1.5f, 32, 4 + 28 * 0.35}, Case{1, 32, 4 + 28 * 0.35}}) {
    const auto heights = windowMeterBarHeights(c.level);
    EXPECT_DOUBLE_EQ(heights[7], c.middle) << c.level;
    EXPECT_DOUBLE_EQ(heights[0], c.outer) << c.level;
    EXPECT_DOUBLE_EQ(heights[14], c.outer) << c.level;
  }
  EXPECT_LT(windowMeterBarHeights(0.3f)[6], windowMeterBarHeights(0.3f)[7]);
}

TEST(TrayIcon, ShowsTheWaveformExactlyWhileRecording) {
  testApplication();
  RecordedActions actions;
  TrayIcon tray(actions);
  for (auto [phase, icon] : {std::pair{DictationPhase::idle, TrayIcon::microphoneIcon},
                             {DictationPhase::starting, TrayIcon::microphoneIcon},
                             {DictationPhase::recording, TrayIcon::waveformIcon},
                             {DictationPhase::processing, TrayIcon::microphoneIcon}}) {
    ShellSnapshot s = ready();
    s.voice.phase = phase;
    tray.render(s);
    EXPECT_EQ(tray.iconName().toStdString(), icon) << phase;
  }
}

}  // namespace
