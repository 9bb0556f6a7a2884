#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <string>
#include <vector>

#include "ViewTesting.h"
#include "app/MainView.h"
#include "app/MenuActions.h"
#include "app/MeterGeometry.h"
#include "app/TrayIcon.h"
#include "app/WindowContent.h"

using namespace wrenly;

namespace {

class RecordedActions final : public MenuActions {
 public:
  std::vector<std::string> calls;
  void openAccessibilitySettings() override { calls.push_back("openAccessibilitySettings"); }
  void recheckPermission() override { calls.push_back("recheckPermission"); }
  void confirmDetectedTriggerKey() override { calls.push_back("confirmDetectedTriggerKey"); }
  void toggle() override { calls.push_back("toggle"); }
  void resetTriggerKeySetup() override { calls.push_back("resetTriggerKeySetup"); }
  void retryLastRecording() override { calls.push_back("retryLastRecording"); }
  void signIn() override { calls.push_back("signIn"); }
  void signOut() override { calls.push_back("signOut"); }
  void removeAccess() override { calls.push_back("removeAccess"); }
  void requestAccessibility() override { calls.push_back("requestAccessibility"); }
  void setStreamingConsent(bool on) override { calls.push_back(on ? "consent:on" : "consent:off"); }
  void copyLastText() override { calls.push_back("copyLastText"); }
  void showDiagnostics() override { calls.push_back("showDiagnostics"); }
  void openPrivacyPage() override { calls.push_back("openPrivacyPage"); }
  void quit() override { calls.push_back("quit"); }
};

ShellSnapshot ready() {
  ShellSnapshot s;
  s.hasAccessibility = true;
  s.voice.permissionGranted = s.voice.setupComplete = s.voice.serviceStatusLoaded = true;
  s.voice.shortcutTitle = "右 Alt";
  return s;
}

bool shows(const QStringList& texts, const char* text) {
  for (const QString& shown : texts) {
    if (shown.contains(QString::fromUtf8(text))) return true;
  }
  return false;
}

struct ViewCase {
  const char* name;
  ShellSnapshot state;
  std::vector<const char*> shown;
  std::vector<const char*> hidden;
  std::vector<const char*> enabled;
  std::vector<const char*> disabled;
};

std::vector<ViewCase> viewCases() {
  std::vector<ViewCase> cases;
  ShellSnapshot s;
  s.voice.setupComplete = true;  // without the permission only step 1 shows
  s.voice.permissionFeedback = "10:02 · 仍未取得權限。";
  cases.push_back({"step 1",
                   s,
                   {"步驟 1／2 · 啟用輔助使用", "10:02 · 仍未取得權限。", "等待系統授權"},
                   {"步驟 2／2 · 按一次錄音鍵", "開始語音輸入"},
                   {"開啟桌面輔助使用設定", "我已開啟，重新檢查", "結束 Wrenly"},
                   {}});
  s = {};
  s.voice.permissionGranted = true;
  cases.push_back({"step 2 waiting",
                   s,
                   {"步驟 2／2 · 按一次錄音鍵", "等待您按鍵…"},
                   {"步驟 1／2", "按鍵偵測尚未啟動", "重新啟用按鍵偵測"},
                   {},
                   {"確認並開始使用"}});
  s.voice.detectedTriggerKey = TriggerKey::leftShift;
  s.voice.triggerKeyAvailable = false;
  cases.push_back({"step 2 detected, detector off",
                   s,
                   {"已偵測到 左 Shift", "按鍵偵測尚未啟動。請重新檢查輔助使用權限。"},
                   {"等待您按鍵…"},
                   {"確認並開始使用", "重新啟用按鍵偵測"},
                   {}});
  s = ready();
  s.voice.serviceStatusLoaded = false;
  s.hasAccessibility = false;
  s.voice.message = "<b>正在檢查語音服務…</b>";
  cases.push_back({"main, signed out, checking",
                   s,
                   {"<b>正在檢查語音服務…</b>", "正在檢查密碼匙圈", "自動貼回輸入欄尚未啟用",
                    "錄音鍵：右 Alt", "私隱說明"},
                   {"步驟", "登出 Apple 帳戶", "刪除帳戶及資料", "重試上一段錄音", "複製最近文字"},
                   {"開始語音輸入", "使用 Apple 登入", "啟用即時語音辨識", "重新設定按鍵"},
                   {}});
  s = ready();
  s.voice.phase = DictationPhase::processing;
  s.voice.hasRetryRecording = true;
  s.voice.accessActive = true;
  s.voice.lastText = "a < b & <i>c</i>";
  cases.push_back({"processing, signed in",
                   s,
                   {"a < b & <i>c</i>", "登出 Apple 帳戶"},
                   {"正在檢查密碼匙圈", "自動貼回", "使用 Apple 登入", "私隱說明"},
                   {"登出 Apple 帳戶", "複製最近文字"},
                   {"開始語音輸入", "啟用即時語音辨識", "重試上一段錄音", "刪除帳戶及資料"}});
  s = ready();
  s.voice.phase = DictationPhase::recording;
  cases.push_back({"recording",
                   s,
                   {"完成錄音"},
                   {"開始語音輸入"},
                   {"完成錄音"},
                   {"使用 Apple 登入", "啟用即時語音辨識"}});
  s = ready();
  s.voice.activationInProgress = true;
  s.voice.activationFeedback = "請在瀏覽器完成登入";
  cases.push_back({"signing in",
                   s,
                   {"正在登入…", "請在瀏覽器完成登入"},
                   {"使用 Apple 登入"},
                   {"開始語音輸入"},
                   {"正在登入…"}});
  return cases;
}

TEST(MenuView, StateDecidesTextsStepsAndEnabledControlsInBothWidths) {
  testApplication();
  RecordedActions actions;
  for (int width : {460, 340}) {
    WindowContent view(actions, width);
    for (const ViewCase& c : viewCases()) {
      SCOPED_TRACE(std::string(c.name) + " at " + std::to_string(width));
      view.render(c.state);
      const QStringList texts = visibleTexts(view);
      for (const char* text : c.shown) EXPECT_TRUE(shows(texts, text)) << text;
      for (const char* text : c.hidden) EXPECT_FALSE(shows(texts, text)) << text;
      for (const char* text : c.enabled) {
        QAbstractButton* button = visibleButton(view, QString::fromUtf8(text));
        ASSERT_NE(button, nullptr) << text;
        EXPECT_TRUE(button->isEnabled()) << text;
      }
      for (const char* text : c.disabled) {
        QAbstractButton* button = visibleButton(view, QString::fromUtf8(text));
        ASSERT_NE(button, nullptr) << text;
        EXPECT_FALSE(button->isEnabled()) << text;
      }
    }
  }
}

TEST(MenuView, ControllerTextsAreNeverReadAsMarkup) {
  testApplication();
  RecordedActions actions;
  WindowContent view(actions, 460);
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

TEST(MenuView, ControlsCallTheirActionsAndDeletionAsksFirst) {
  testApplication();
  RecordedActions actions;
  WindowContent view(actions, 460);
  ShellSnapshot s = ready();
  s.voice.accessActive = true;
  s.voice.lastText = "x";
  s.voice.hasRetryRecording = true;
  view.render(s);
  for (const char* text :
       {"開始語音輸入", "重新設定按鍵", "啟用即時語音辨識", "重試上一段錄音", "登出 Apple 帳戶",
        "複製最近文字", "服務設定及權限", "開啟輔助使用權限", "顯示診斷記錄", "刪除帳戶及資料"}) {
    QAbstractButton* button = visibleButton(view, QString::fromUtf8(text));
    ASSERT_NE(button, nullptr) << text;
    button->click();
  }
  EXPECT_EQ(actions.calls,
            (std::vector<std::string>{"toggle", "resetTriggerKeySetup", "consent:on",
                                      "retryLastRecording", "signOut", "copyLastText",
                                      "requestAccessibility", "showDiagnostics"}));
  QMessageBox* dialog = view.mainView().deleteDialog();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "刪除帳戶及資料？");
  visibleButton(*dialog, "確認刪除")->click();
  EXPECT_EQ(actions.calls.back(), "removeAccess");
}

TEST(MenuView, OnlyAChangeOfLiveRecognitionFromOutsideIsSentBack) {
  testApplication();
  RecordedActions actions;
  WindowContent view(actions, 460);
  ShellSnapshot s = ready();
  for (bool consent : {true, false}) {
    s.voice.streamingConsent = consent;
    view.render(s);
  }
  EXPECT_TRUE(actions.calls.empty());
  // What the accessibility toolkit's toggle action does: no click.
  visibleButton(view, "啟用即時語音辨識")->toggle();
  EXPECT_EQ(actions.calls, std::vector<std::string>{"consent:on"});
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
