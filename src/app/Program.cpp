#include "app/Program.h"

#include <QApplication>
#include <QEventLoop>
#include <QSystemTrayIcon>
#include <QTimer>
#include <boost/asio/post.hpp>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/ControllerBridge.h"
#include "app/DictationCore.h"
#include "app/LayerShellOverlay.h"
#include "app/LocalServiceWake.h"
#include "app/PrivacyPage.h"
#include "app/QtClipboard.h"
#include "app/QtOverlay.h"
#include "app/ShellWindows.h"
#include "app/SingleInstance.h"
#include "diagnostics/Diagnostics.h"
#include "messages/ErrorText.h"
#include "messages/ShellMessages.h"
#include "platform/linux/LinuxDesktop.h"
#include "service/ServiceEndpoint.h"

namespace wrenly {
namespace {

constexpr const char* applicationID = "wrenly";
constexpr int trayWaitMs = 10000;
constexpr int trayCheckMs = 500;

int refuse(const char* message, const std::string& detail = {}) {
  if (detail.empty()) {
    std::fprintf(stderr, "%s\n", message);
  } else {
    std::fprintf(stderr, "%s\n(%s)\n", message, detail.c_str());
  }
  return 1;
}

// At login the panel may come up after this program: give it a few seconds.
bool waitForTray() {
  if (QSystemTrayIcon::isSystemTrayAvailable()) return true;
  QEventLoop waiting;
  QTimer check;
  int waited = 0;
  QObject::connect(&check, &QTimer::timeout, &waiting, [&] {
    waited += trayCheckMs;
    if (QSystemTrayIcon::isSystemTrayAvailable() || waited >= trayWaitMs) waiting.quit();
  });
  check.start(trayCheckMs);
  waiting.exec();
  return QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace

int runProgram(QApplication& app, LaunchRequest request) {
  ShellWindows* shown = nullptr;
  MenuActions* actions = nullptr;
  auto instance = SingleInstance::claim(request, [&shown, &actions](LaunchRequest asked) {
    if (asked == LaunchRequest::toggle && actions) return actions->toggle();
    if (shown) shown->window().bringForward();
  });
  if (!instance) return 0;
  if (!waitForTray()) return refuse(ShellMessages::noTray);

  LinuxDesktopOptions options;
  options.platform.reportSettingsProblem = [](const std::string& line) {
    std::fprintf(stderr, "wrenly: %s\n", line.c_str());
  };
  options.display.ownApplicationID = applicationID;
  LinuxDesktop::Opened opened = LinuxDesktop::open(std::move(options));
  if (!opened) return refuse(describe(opened.error()), opened.error().detail);
  std::unique_ptr<LinuxDesktop> desktop = std::move(opened).value();
  LinuxPlatform* adapters = &desktop->adapters();

  ShellWindows* windows = nullptr;
  ControllerBridge bridge(
      adapters->mainLoop().get_executor(), app,
      [&windows](const ShellSnapshot& snapshot) {
        if (windows) windows->render(snapshot);
      },
      [&app] { app.quit(); },
      [] {
        const auto configuration = ServiceConfiguration::fromEnvironment();
        return privacyPageURL(configuration.baseURLText, configuration.localSocket
                                                             ? localServicePagesOrigin()
                                                             : std::optional<std::string>());
      });
  if (desktop->wayland()) {
    const char* keys = desktop->keyboardsRead()        ? ShellMessages::waylandKeysFromDevices
                       : desktop->keysFromCompositor() ? ShellMessages::waylandKeysFromCompositor
                                                       : ShellMessages::waylandKeysUnreadable;
    const char* paste = desktop->portalPastes()       ? ShellMessages::waylandPasteByPortal
                        : desktop->compositorPastes() ? ShellMessages::waylandPasteByCompositor
                                                      : ShellMessages::waylandPasteX11Only;
    bridge.setSessionNote(std::string(keys) + paste);
  }
  wakeNewLocalService(ServiceConfiguration::fromEnvironment(), adapters->mainLoop().get_executor());
  ShellWindows shell(bridge);
  windows = shown = &shell;
  actions = &bridge;
  // Qt's clipboard does nothing on Wayland until the program's window had an input event.
  QtClipboard toolkitClipboard(&app);
  Clipboard* clipboard = desktop->compositorClipboard();
  if (!clipboard) clipboard = &toolkitClipboard;
  // A layer-shell surface where the compositor offers one. Elsewhere (mutter) the XWayland window
  // is the best there is: above the others and unfocused, but it may keep the clicks on it.
  std::unique_ptr<LayerShellOverlay> layerOverlay;
  if (desktop->wayland()) layerOverlay = LayerShellOverlay::open(shell.overlay());
  QtOverlay windowOverlay(shell.overlay());
  Overlay* overlay = layerOverlay ? static_cast<Overlay*>(layerOverlay.get()) : &windowOverlay;
  adapters->attach(GuiPorts{clipboard, overlay});

  // The controller's loop: the core is made, used and destroyed there.
  std::unique_ptr<DictationCore> core;
  QEventLoop loopEnded;
  std::thread loop([&] {
    adapters->mainLoop().run();
    QMetaObject::invokeMethod(&loopEnded, &QEventLoop::quit, Qt::QueuedConnection);
  });
  asio::post(adapters->mainLoop(), [&] {
    core = std::make_unique<DictationCore>(adapters->platform());
    bridge.attach(*core);
  });

  QObject::connect(&app, &QGuiApplication::applicationStateChanged, &app,
                   [&bridge](Qt::ApplicationState state) {
                     if (state == Qt::ApplicationActive) bridge.applicationActivated();
                   });
  shell.tray().show();
  shell.window().show();
  const int status = app.exec();
  // Launches handed over from here on find nothing to act on.
  actions = nullptr;

  shell.overlay().hide();
  asio::post(adapters->mainLoop(), [&] {
    bridge.detach();
    core.reset();
    desktop->closeSession();
    adapters->mainLoop().stop();
  });
  // The loop may be waiting on this thread for a clipboard write: keep serving it until the loop
  // has ended.
  loopEnded.exec();
  loop.join();
  Diagnostics::flush();
  return status;
}

}  // namespace wrenly
