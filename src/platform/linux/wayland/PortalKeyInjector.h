#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/KeyInjector.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GVariant GVariant;

namespace wrenly {

struct PortalLimits {
  std::chrono::milliseconds startUp{5000};   // the first call, which may start the portal
  std::chrono::milliseconds call{1000};      // one D-Bus call
  std::chrono::milliseconds consent{20000};  // the wait for the user's answer, at a paste
  // Slower than this, the portal's start was the user's answer (KDE's answers by itself in
  // 30-210 ms here; a person takes seconds).
  std::chrono::milliseconds unasked{500};
};

// Paste keystrokes through the desktop portal's remote-desktop service, keyboard only: the way
// into native windows on compositors that offer no virtual keyboard to clients (GNOME's, KDE's).
// The desktop may ask the user for consent when the portal session starts, which happens at the
// first paste of the program's session rather than at start-up; until it is granted, nothing is
// pasted and the text stays on the clipboard. Main loop only.
class PortalKeyInjector final : public KeyInjector {
 public:
  using TerminalCheck = std::function<bool(int32_t processID)>;
  using Limits = PortalLimits;

  // None when the session bus has no remote-desktop portal that can send keys. `tokenFile`
  // keeps the portal's restore token, so a portal that supports it asks only once.
  static std::unique_ptr<PortalKeyInjector> open(TerminalCheck isTerminal,
                                                 std::filesystem::path tokenFile,
                                                 Limits limits = {});
  ~PortalKeyInjector() override;
  PortalKeyInjector(const PortalKeyInjector&) = delete;
  PortalKeyInjector& operator=(const PortalKeyInjector&) = delete;

  // Starts the portal session first if none runs; false when it cannot run (refused, or no
  // answer within the consent limit: the session may still start for the next paste) or when
  // the user had to answer first.
  bool pasteKeyDown(int32_t processID) override;
  void pasteKeyUp() override;
  // Nothing is sent: the portal's keys reach the focused window as the user's own would.
  bool tapUnusedKey() override { return false; }

 private:
  // Where the portal stands, as far as this program knows.
  enum class Session { none, starting, started, refused, failed };

  PortalKeyInjector(GDBusConnection* bus, TerminalCheck isTerminal, std::filesystem::path tokenFile,
                    Limits limits, uint32_t version);
  // Asks the portal for the next step; the answer arrives as a Response signal.
  void request(const char* method, GVariant* arguments, const std::string& token);
  void answered(uint32_t response, GVariant* results);
  bool waitForSession(std::chrono::milliseconds limit);
  bool sendKey(uint32_t keysym, bool down);
  void forgetSession();

  static void responseSignal(GDBusConnection*, const char*, const char*, const char*, const char*,
                             GVariant* parameters, void* self);
  static void closedSignal(GDBusConnection*, const char*, const char*, const char*, const char*,
                           GVariant*, void* self);

  GDBusConnection* bus_;
  GMainContext* context_;  // where the portal's signals are dispatched, iterated while waiting
  TerminalCheck isTerminal_;
  std::filesystem::path tokenFile_;
  Limits limits_;
  uint32_t version_;
  Session session_ = Session::none;
  enum class Step { createSession, selectDevices, start } step_ = Step::createSession;
  std::string sessionHandle_;
  unsigned responseSubscription_ = 0;
  unsigned closedSubscription_ = 0;
  unsigned requests_ = 0;
  std::vector<uint32_t> pressed_;  // keysyms, in press order
};

}  // namespace wrenly
