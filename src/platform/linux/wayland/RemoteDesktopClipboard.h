#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Clipboard.h"

typedef struct _GDBusConnection GDBusConnection;
typedef struct _GMainContext GMainContext;
typedef struct _GMainLoop GMainLoop;
typedef struct _GVariant GVariant;

namespace wrenly {

// The clipboard through the clipboard calls of the compositor's own remote-desktop service on
// the session bus (GNOME's compositor offers them; it offers no data control, and a Wayland
// client may set the clipboard only from a focused window after an input event). One session of
// that service owns the text and serves it from a thread of its own; a second one reads the
// clipboard back, since the service lets no session read what it owns. Any thread may write.
class RemoteDesktopClipboard final : public Clipboard {
 public:
  // None when the session bus has no such service or it refuses the clipboard.
  static std::unique_ptr<RemoteDesktopClipboard> open(
      std::chrono::milliseconds callLimit = std::chrono::milliseconds(1000));
  ~RemoteDesktopClipboard() override;
  RemoteDesktopClipboard(const RemoteDesktopClipboard&) = delete;
  RemoteDesktopClipboard& operator=(const RemoteDesktopClipboard&) = delete;

  // True only when reading the clipboard back gives `text`.
  bool writeString(const std::string& text) override;

 private:
  RemoteDesktopClipboard(GDBusConnection* bus, std::chrono::milliseconds callLimit);
  bool openSessions();
  std::string readBack();
  static void transferSignal(GDBusConnection*, const char*, const char*, const char*, const char*,
                             GVariant* parameters, void* self);

  GDBusConnection* bus_;
  std::chrono::milliseconds callLimit_;
  std::string owner_;   // the session that holds our text
  std::string reader_;  // the session that reads the clipboard back
  GMainContext* context_;
  GMainLoop* loop_;
  unsigned transferSubscription_ = 0;
  std::mutex mutex_;
  std::string text_;  // what the clipboard serves; guarded by mutex_
  std::thread server_;
};

}  // namespace wrenly
