#include "platform/linux/LinuxPlatform.h"

#include <gio/gio.h>

#include "base/FileHistoryStore.h"
#include "base/FileSettings.h"
#include "base/FileWordStore.h"
#include "base/StoredNames.h"
#include "base/SystemClock.h"
#include "platform/linux/browser/XdgBrowserSession.h"
#include "platform/linux/pulse/PulseAudioInput.h"
#include "platform/linux/secret/LibsecretStore.h"

namespace wrenly {

namespace {

// The session bus, or why there is none. GLib keeps the connection for the process, so the
// keyring calls later reuse it.
std::optional<std::string> sessionBusProblem() {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (bus) {
    g_object_unref(bus);
    return std::nullopt;
  }
  std::string message = error ? error->message : "no reason given";
  if (error) g_error_free(error);
  return message;
}

}  // namespace

LinuxPlatform::Made LinuxPlatform::make(LinuxPlatformOptions options) {
  if (auto problem = sessionBusProblem()) {
    return DesktopError{DesktopMissing::sessionBus, std::move(*problem)};
  }
  return Made(std::unique_ptr<LinuxPlatform>(new LinuxPlatform(std::move(options))));
}

LinuxPlatform::LinuxPlatform(LinuxPlatformOptions options)
    : keepRunning_(asio::make_work_guard(mainLoop_)),
      background_(options.backgroundThreads),
      clock_(std::make_unique<SystemClock>()),
      settings_(std::make_unique<FileSettings>(
          options.settingsFile.empty() ? FileSettings::defaultFile() : options.settingsFile,
          options.reportSettingsProblem)),
      words_(std::make_unique<FileWordStore>(FileWordStore::besideSettings(settings_->file()),
                                             std::move(options.reportSettingsProblem))),
      history_(std::make_unique<FileHistoryStore>(
          settings_->file().parent_path() / StoredNames::historyFileName,
          std::move(options.reportSettingsProblem))),
      secrets_(std::make_unique<LibsecretStore>(options.keyringBound)),
      audioInput_(std::make_unique<PulseAudioInput>(options.applicationName)),
      browser_(std::make_unique<XdgBrowserSession>(mainLoop_.get_executor(),
                                                   options.authSocket.empty()
                                                       ? XdgBrowserSession::defaultSocketPath()
                                                       : options.authSocket)) {}

LinuxPlatform::~LinuxPlatform() {
  keepRunning_.reset();
  background_.stop();
  background_.join();
}

Platform LinuxPlatform::platform() {
  Platform out;
  out.mainLoop = mainLoop_.get_executor();
  out.background = background_.get_executor();
  out.clock = clock_.get();
  out.settings = settings_.get();
  out.words = words_.get();
  out.history = history_.get();
  out.secrets = secrets_.get();
  out.audioInput = audioInput_.get();
  out.browser = browser_.get();
  out.workspace = desktop_.workspace;
  out.accessibility = desktop_.accessibility;
  out.windows = desktop_.windows;
  out.keyInjector = desktop_.keyInjector;
  out.keyMonitor = desktop_.keyMonitor;
  out.chords = desktop_.chords;
  out.clipboard = gui_.clipboard;
  out.overlay = gui_.overlay;
  return out;
}

}  // namespace wrenly
