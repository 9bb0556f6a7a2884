// Draws the window, the tray popup and the overlay from fixed states and saves each as a PNG, so
// the README's pictures can be made again on any X server: wrenly-screenshots OUTPUT_DIR
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "app/MainWindow.h"
#include "app/MenuActions.h"
#include "app/OverlayPanel.h"
#include "app/TrayIcon.h"
#include "messages/Messages.h"
#include "messages/ShellMessages.h"

using namespace wrenly;

namespace {

class NoActions final : public MenuActions {
 public:
  void openAccessibilitySettings() override {}
  void recheckPermission() override {}
  void confirmDetectedTriggerKey() override {}
  void toggle() override {}
  void resetTriggerKeySetup() override {}
  void setTriggerMode(TriggerMode) override {}
  void retryLastRecording() override {}
  void signIn() override {}
  void signOut() override {}
  void removeAccess() override {}
  void requestAccessibility() override {}
  void setStreamingConsent(bool) override {}
  void copyLastText() override {}
  void addOwnWords(std::string, bool) override {}
  void removeOwnWord(std::string) override {}
  void copyHistoryEntry(std::uint64_t) override {}
  void pasteHistoryEntry(std::uint64_t) override {}
  void clearHistory() override {}
  void keepHistoryOnDisk(bool) override {}
  void showDiagnostics() override {}
  void openPrivacyPage() override {}
  void quit() override {}
};

void settle() {
  for (int i = 0; i < 20; ++i) {
    QApplication::processEvents();
    QThread::msleep(15);
  }
}

bool save(const QPixmap& picture, const QString& path) {
  const bool ok = picture.save(path);
  std::fprintf(ok ? stdout : stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
  return ok;
}

ShellSnapshot readyState() {
  ShellSnapshot s;
  s.hasAccessibility = true;
  s.voice.permissionGranted = true;
  s.voice.setupComplete = true;
  s.voice.serviceStatusLoaded = true;
  s.voice.localService = true;
  s.voice.triggerKeyTitle = Messages::rightAltTitle;
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: wrenly-screenshots OUTPUT_DIR\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  NoActions actions;
  bool ok = true;

  MainWindow window(actions);
  window.move(40, 40);
  window.show();
  const auto shoot = [&](const ShellSnapshot& state, const char* name) {
    window.render(state);
    settle();
    ok = save(window.grab(), out.filePath(QString::fromLatin1(name))) && ok;
  };

  ShellSnapshot step1;
  shoot(step1, "setup-step1.png");

  ShellSnapshot step2;
  step2.voice.permissionGranted = true;
  step2.voice.detectedTriggerKey = TriggerKey::rightAlt;
  step2.voice.detectionLight = true;
  shoot(step2, "setup-step2-detected.png");

  ShellSnapshot signedOut = readyState();
  signedOut.voice.message = Messages::serviceSignIn.prompt;
  shoot(signedOut, "main-signed-out.png");

  ShellSnapshot signedIn = readyState();
  signedIn.voice.message = "按 右 Alt 開始語音輸入";
  signedIn.voice.accessActive = true;
  signedIn.voice.serviceAvailable = true;
  signedIn.voice.streamingConsent = true;
  signedIn.voice.lastText = "明天下午三點開會，記得帶上季度報告。";
  shoot(signedIn, "main-signed-in.png");

  // The own words, opened and scrolled into view; written to docs/images beside this folder.
  ShellSnapshot words = signedIn;
  words.voice.ownWords = std::make_shared<const OwnWords>(
      OwnWords{{"Kowloon Tong", "Wrenly", "九龍塘"}, {{"github", "GitHub"}, {"teh", "the"}}});
  words.voice.ownWordsNote =
      Messages::ownWordsAdded(2) + Messages::ownWordsRefused("4", Messages::ownWordsMalformed);
  auto* scroll = window.findChild<QScrollArea*>();
  for (auto* toggle : window.findChildren<QToolButton*>()) {
    if (toggle->text() != QString::fromUtf8(ShellMessages::ownWords)) continue;
    toggle->setChecked(true);
    window.render(words);
    settle();
    scroll->verticalScrollBar()->setValue(toggle->mapTo(scroll->widget(), QPoint()).y() - 8);
  }
  QDir().mkpath(out.filePath(QStringLiteral("../images")));
  shoot(words, "../images/window-words.png");
  window.hide();

  TrayIcon tray(actions);
  ShellSnapshot recording = signedIn;
  recording.voice.phase = DictationPhase::recording;
  recording.voice.level = 0.55f;
  recording.voice.message = "正在錄音… 再按 右 Alt 完成";
  tray.render(recording);
  tray.popup().move(60, 60);
  tray.popup().show();
  settle();
  ok = save(tray.popup().grab(), out.filePath(QStringLiteral("tray-popup.png"))) && ok;
  tray.popup().hide();

  // The overlay is photographed on the screen, over a plain backdrop, as a user sees it.
  QWidget backdrop(nullptr, Qt::FramelessWindowHint);
  backdrop.setAutoFillBackground(true);
  QPalette light = backdrop.palette();
  light.setColor(QPalette::Window, QColor(0xe8, 0xeb, 0xf0));
  backdrop.setPalette(light);
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect area = screen->availableGeometry();
  const QRect shot(area.center().x() - 170, area.bottom() + 1 - 120, 340, 120);
  backdrop.setGeometry(shot);
  backdrop.show();
  OverlayPanel overlay;
  const auto shootOverlay = [&](const ShellSnapshot& state, const char* name) {
    overlay.render(state);
    overlay.showAtBottomCentre();
    settle();
    ok = save(screen->grabWindow(0, shot.x(), shot.y(), shot.width(), shot.height()),
              out.filePath(QString::fromLatin1(name))) &&
         ok;
  };
  recording.voice.level = 0.7f;
  shootOverlay(recording, "overlay-recording.png");
  ShellSnapshot notice = readyState();
  notice.voice.overlayNotice = Messages::copiedNotice;
  shootOverlay(notice, "overlay-notice.png");
  return ok ? 0 : 1;
}
