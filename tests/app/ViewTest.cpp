// The program's own views off screen: the window in both widths with the actions its controls
// call, the tray icon, the meters, the overlay, and the clipboard's hand-over to the GUI thread.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QScrollArea>
#include <QStringList>
#include <QWidget>
#include <string>
#include <thread>
#include <vector>

#include "app/LevelBars.h"
#include "app/MainView.h"
#include "app/MenuActions.h"
#include "app/MeterGeometry.h"
#include "app/OverlayPanel.h"
#include "app/QtClipboard.h"
#include "app/TrayIcon.h"
#include "app/WindowContent.h"
#include "messages/Messages.h"
#include "messages/ShellMessages.h"

using namespace wrenly;

namespace {

namespace T = ShellMessages;

// One application for the whole test program, drawing off screen. It is left to the end of the
// process: Qt's own clean-up at static destruction time would run after the plugins unloaded.
QApplication& testApplication() {
  static int argc = 1;
  static char name[] = "app_view_tests";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// The texts of the labels and buttons a user can see under `root`, in creation order.
QStringList visibleTexts(const QWidget& root) {
  QStringList texts;
  for (QWidget* child : root.findChildren<QWidget*>()) {
    if (!child->isVisibleTo(&root)) continue;
    if (auto* label = qobject_cast<QLabel*>(child); label && !label->text().isEmpty()) {
      texts << label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(child)) {
      texts << button->text();
    }
  }
  return texts;
}

// The `index`-th visible button with exactly this text, in creation order, or null.
QAbstractButton* visibleButton(const QWidget& root, const QString& text, int index = 0) {
  for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
    if (button->isVisibleTo(&root) && button->text() == text && index-- == 0) return button;
  }
  return nullptr;
}

// The window's actions, each recorded by name (and what it was called with).
class RecordedActions final : public MenuActions {
 public:
  std::vector<std::string> calls;
  void note(std::string call) { calls.push_back(std::move(call)); }
  void openAccessibilitySettings() override { note("openAccessibilitySettings"); }
  void recheckPermission() override { note("recheckPermission"); }
  void confirmDetectedTriggerKey() override { note("confirmDetectedTriggerKey"); }
  void toggle() override { note("toggle"); }
  void resetTriggerKeySetup() override { note("resetTriggerKeySetup"); }
  void setTriggerMode(TriggerMode mode) override { note("mode:" + std::string(rawValue(mode))); }
  void retryLastRecording() override { note("retryLastRecording"); }
  void signIn() override { note("signIn"); }
  void signOut() override { note("signOut"); }
  void removeAccess() override { note("removeAccess"); }
  void requestAccessibility() override { note("requestAccessibility"); }
  void setStreamingConsent(bool on) override { note(on ? "consent:on" : "consent:off"); }
  void copyLastText() override { note("copyLastText"); }
  void addOwnWords(std::string text, bool file) override {
    note((file ? "import:" : "add:") + text);
  }
  void removeOwnWord(std::string line) override { note("remove:" + line); }
  void copyHistoryEntry(std::uint64_t id) override { note("copy:" + std::to_string(id)); }
  void pasteHistoryEntry(std::uint64_t id) override { note("paste:" + std::to_string(id)); }
  void clearHistory() override { note("clearHistory"); }
  void keepHistoryOnDisk(bool on) override { note(on ? "disk:on" : "disk:off"); }
  void showDiagnostics() override { note("showDiagnostics"); }
  void openPrivacyPage() override { note("openPrivacyPage"); }
  void quit() override { note("quit"); }
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
struct Window : testing::Test {
  QApplication& app = testApplication();
  RecordedActions actions;
  WindowContent view{actions, 460};
};

TEST_F(Window, StateDecidesTextsStepsAndEnabledControlsInBothWidths) {
  for (int width : {460, 340}) {
    WindowContent content(actions, width);
    for (const ViewCase& c : viewCases()) {
      SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(width));
      content.render(c.state);
      const QStringList texts = visibleTexts(content);
      for (const auto& text : c.shown) EXPECT_TRUE(shows(texts, text)) << text;
      for (const auto& text : c.hidden) EXPECT_FALSE(shows(texts, text)) << text;
      for (bool enabled : {true, false}) {
        for (const auto& text : enabled ? c.enabled : c.disabled) {
          QAbstractButton* button = visibleButton(content, QString::fromStdString(text));
          ASSERT_NE(button, nullptr) << text;
          EXPECT_EQ(button->isEnabled(), enabled) << text;
        }
      }
    }
  }
}

TEST_F(Window, ControllerTextsAreNeverReadAsMarkup) {
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

// Controls call their actions and deletion asks first. Live recognition changed from outside
// is not sent back; the accessibility toolkit's toggle action (no click) is.
TEST_F(Window, ControlsCallTheirActionsAndDeletionAsksFirst) {
  ShellSnapshot s = ready();
  s.voice.streamingConsent = true;
  view.render(s);
  s.voice.streamingConsent = false;
  s.voice.accessActive = true;
  s.voice.lastText = "x";
  s.voice.hasRetryRecording = true;
  view.render(s);
  EXPECT_TRUE(actions.calls.empty());
  visibleButton(view, T::liveRecognition)->toggle();
  for (const char* text :
       {T::startDictation, T::resetTriggerKey, Messages::holdModeTitle, T::retryLastRecording,
        T::signOut, T::copyLastText, T::servicesAndPermissions, T::requestAccessibility,
        T::showDiagnostics, T::deleteAccount}) {
    QAbstractButton* button = visibleButton(view, QString::fromUtf8(text));
    ASSERT_NE(button, nullptr) << text;
    button->click();
  }
  EXPECT_EQ(actions.calls,
            (std::vector<std::string>{"consent:on", "toggle", "resetTriggerKeySetup", "mode:hold",
                                      "retryLastRecording", "signOut", "copyLastText",
                                      "requestAccessibility", "showDiagnostics"}));
  QMessageBox* dialog = view.mainView().deleteDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), T::deleteTitle);
  visibleButton(*dialog, T::deleteConfirm)->click();
  EXPECT_EQ(actions.calls.back(), "removeAccess");
}

// A screen reader counts the scroll area's children, then the view grows or shrinks and the
// scroll bar hides before it asks for the last one: the answer is none, never a wild pointer.
TEST_F(Window, ScrollAreaAnswersAReaderThatCountedBeforeTheBarHid) {
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
TEST_F(Window, OwnWordsListSendsItsChanges) {
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

TEST_F(Window, TheHistoryOpensToItsEntriesAndTheirActions) {
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
  visibleButton(view, T::copyEntry, 0)->click();  // the entries' buttons, in order
  visibleButton(view, T::pasteEntry, 1)->click();
  visibleButton(view, T::clearHistory)->click();
  visibleButton(view, T::historyOnDisk)->click();
  EXPECT_EQ(actions.calls,
            (std::vector<std::string>{"copy:7", "paste:3", "clearHistory", "disk:on"}));
}

TEST_F(Window, TheTrayIconShowsTheWaveformExactlyWhileRecording) {
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

// The middle bar and the two outer ones of both meters: each meter's floor in silence (or below
// it); at a full level (or past it), 32 and 35 % of the way up.
TEST(Meters, BarHeightsFollowTheLevel) {
  const auto check = [](const auto& heights, double middle, double outer) {
    EXPECT_DOUBLE_EQ(heights[heights.size() / 2], middle);
    EXPECT_NEAR(heights.front(), outer, 1e-9);
    EXPECT_NEAR(heights.back(), outer, 1e-9);
  };
  for (float silent : {0.f, -2.f}) {
    SCOPED_TRACE(silent);
    check(windowMeterBarHeights(silent), 4, 4);
    check(overlayWaveformBarHeights(silent), 3, 3);
  }
  for (float full : {1.f, 7.f}) {
    SCOPED_TRACE(full);
    check(windowMeterBarHeights(full), 32, 4 + 28 * 0.35);
    check(overlayWaveformBarHeights(full), 32, 3 + 29 * 0.35);
  }
  EXPECT_LT(windowMeterBarHeights(0.3f)[6], windowMeterBarHeights(0.3f)[7]);
}

TEST(OverlayView, PhaseDecidesTitleGuidanceAndRightHandElement) {
  testApplication();
  struct Case {
    DictationPhase phase;
    bool editing;
    const char* title;
    std::string guidance;
    bool waveform, spinner;
  };
  const std::string stop = T::overlayStopPrefix + std::string("右 Alt") + T::overlayStopSuffix;
  const std::string edit = T::overlayEditPrefix + std::string("右 Alt") + T::overlayStopSuffix;
  const char* notice = Messages::copiedNotice;
  OverlayPanel panel;
  for (const Case& c : {
           Case{DictationPhase::recording, false, T::overlayRecording, stop, true, false},
           Case{DictationPhase::recording, true, T::overlayRecording, edit, true, false},
           Case{DictationPhase::processing, false, T::overlayProcessing, T::overlayWait, false,
                true},
           Case{DictationPhase::starting, false, T::overlayStarting, T::overlayWait, false, true},
           Case{DictationPhase::idle, false, T::overlayIdle, notice, false, false},
       }) {
    ShellSnapshot s;
    s.voice.phase = c.phase;
    s.voice.isEditingSelection = c.editing;
    s.voice.triggerKeyTitle = "右 Alt";
    s.voice.overlayNotice = notice;
    panel.render(s);
    const OverlayContent& view = panel.view();
    EXPECT_EQ(view.title().toStdString(), c.title);
    EXPECT_EQ(view.guidance().toStdString(), c.guidance);
    EXPECT_EQ(view.waveform().isVisibleTo(&view), c.waveform) << c.title;
    EXPECT_EQ(view.spinnerShown(), c.spinner) << c.title;
  }
}

// While recording, the words so far take the guidance line, newest in view, and the waveform
// follows the level, on a panel that takes neither clicks nor focus.
TEST(OverlayView, WhileRecordingTheWordsSoFarAndTheLevelShowOnAPanelThatTakesNoInput) {
  testApplication();
  OverlayPanel panel;
  ShellSnapshot s;
  s.voice.phase = DictationPhase::recording;
  s.voice.interimText = std::string(60, 'o') + " go\nforward";
  s.voice.level = 1;
  panel.render(s);
  const QString words = panel.view().words();
  EXPECT_TRUE(words.startsWith(u'…') && words.endsWith(u" go forward")) << words.toStdString();
  EXPECT_DOUBLE_EQ(panel.view().waveform().heights()[5], 32);
  EXPECT_EQ(panel.size(), QSize(246, 64));
  EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowTransparentForInput));
  EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
  s.voice.phase = DictationPhase::processing;
  panel.render(s);
  EXPECT_EQ(panel.view().words(), "");
}

TEST(QtClipboard, WriteFromAnotherThreadWaitsForTheGuiThread) {
  QApplication& app = testApplication();
  QtClipboard clipboard(&app);
  bool written = false;
  bool finished = false;
  std::thread loop([&] {
    written = clipboard.writeString("這是測試 ✓");
    QMetaObject::invokeMethod(
        &app, [&] { finished = true; }, Qt::QueuedConnection);
  });
  while (!finished) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  loop.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "這是測試 ✓");
}

}  // namespace
