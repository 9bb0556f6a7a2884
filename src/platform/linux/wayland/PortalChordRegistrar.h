#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/ChordRegistrar.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GVariant GVariant;

namespace wrenly {

// The chord as a global shortcut of the desktop portal, where a backend offers them (KDE's): on
// Wayland no client may grab keys, so the desktop binds the chord and signals its press and
// release. Each registration is a portal session of its own; the signals arrive on a thread of
// this adapter. Where the portal binds nothing, the chord goes to the fallback registrar (the X
// server's, which serves XWayland's windows).
class PortalChordRegistrar final : public ChordRegistrar {
 public:
  // None without a session bus. Borrows `fallback` (may be null), which must outlive it.
  static std::unique_ptr<PortalChordRegistrar> open(
      ChordRegistrar* fallback,
      std::chrono::milliseconds callLimit = std::chrono::milliseconds(2000));
  ~PortalChordRegistrar() override;
  PortalChordRegistrar(const PortalChordRegistrar&) = delete;
  PortalChordRegistrar& operator=(const PortalChordRegistrar&) = delete;

  // The fallback's registration when the portal has no global shortcuts or binds none.
  Subscription registerChord(TriggerChord chord, std::function<void()> pressed,
                             std::function<void()> released) override;

 private:
  PortalChordRegistrar(GDBusConnection* bus, ChordRegistrar* fallback,
                       std::chrono::milliseconds callLimit);
  Subscription bind(const TriggerChord& chord, std::function<void()>& pressed,
                    std::function<void()>& released);
  // Asks the portal and waits, within the call limit, for its answer's results (the caller's to
  // unref); null when it refused or did not answer.
  GVariant* ask(const char* method, GVariant* arguments, const std::string& token);

  GDBusConnection* bus_;
  ChordRegistrar* fallback_;
  std::chrono::milliseconds callLimit_;
  GMainContext* context_;
  GMainLoop* loop_;
  std::thread signals_;
  unsigned requests_ = 0;
};

}  // namespace wrenly
