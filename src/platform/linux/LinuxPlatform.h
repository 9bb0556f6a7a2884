#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "base/Expected.h"
#include "platform/DesktopPorts.h"
#include "platform/Platform.h"
#include "platform/linux/DesktopError.h"

namespace wrenly {

class SystemClock;
class FileSettings;
class FileWordStore;
class FileHistoryStore;
class LibsecretStore;
class PulseAudioInput;
class XdgBrowserSession;

struct LinuxPlatformOptions {
  std::filesystem::path settingsFile;  // empty: the user's usual settings file
  std::filesystem::path authSocket;    // empty: the usual sign-in callback socket
  std::function<void(const std::string& line)> reportSettingsProblem;
  std::string applicationName = "Wrenly";  // as the sound server lists the recording
  std::chrono::milliseconds keyringBound = std::chrono::seconds(5);
  unsigned backgroundThreads = 4;  // blocking calls run here; a sign-in may hold one for minutes
};

// The real program's platform: owns the main loop, the background pool and every adapter that
// needs nothing but the system, and borrows the desktop and GUI ports from their makers (the
// display server's adapter needs the main loop, so it is made after this and attached).
//
// The caller runs mainLoop() on the thread of its choice and stops it before this is destroyed;
// destruction then stops the pool and waits for its threads.
class LinuxPlatform {
 public:
  using Made = Expected<std::unique_ptr<LinuxPlatform>, DesktopError>;
  // Refused (DesktopMissing::sessionBus) without a session bus.
  static Made make(LinuxPlatformOptions options = {});

  ~LinuxPlatform();
  LinuxPlatform(const LinuxPlatform&) = delete;
  LinuxPlatform& operator=(const LinuxPlatform&) = delete;

  asio::io_context& mainLoop() { return mainLoop_; }
  asio::thread_pool& background() { return background_; }

  void attach(const DesktopPorts& desktop) { desktop_ = desktop; }
  void attach(const GuiPorts& gui) { gui_ = gui; }

  // The ports, borrowed from this object; the desktop and GUI ones are those attached so far.
  Platform platform();

 private:
  explicit LinuxPlatform(LinuxPlatformOptions options);

  asio::io_context mainLoop_;
  asio::executor_work_guard<asio::io_context::executor_type> keepRunning_;
  asio::thread_pool background_;
  std::unique_ptr<SystemClock> clock_;
  std::unique_ptr<FileSettings> settings_;
  std::unique_ptr<FileWordStore> words_;
  std::unique_ptr<FileHistoryStore> history_;  // beside the settings file
  std::unique_ptr<LibsecretStore> secrets_;
  std::unique_ptr<PulseAudioInput> audioInput_;
  std::unique_ptr<XdgBrowserSession> browser_;
  DesktopPorts desktop_;
  GuiPorts gui_;
};

}  // namespace wrenly
