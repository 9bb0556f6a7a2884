#include "platform/linux/wayland/RemoteDesktopClipboard.h"

#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>

#include "platform/linux/wayland/GLibLoopQuit.h"
#include "platform/linux/wayland/UniqueFd.h"

namespace wrenly {

namespace {

constexpr const char* serviceName = "org.gnome.Mutter.RemoteDesktop";
constexpr const char* servicePath = "/org/gnome/Mutter/RemoteDesktop";
constexpr const char* sessionInterface = "org.gnome.Mutter.RemoteDesktop.Session";
constexpr const char* textType = "text/plain;charset=utf-8";

struct VariantUnref {
  void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

struct Reply {
  Variant value;
  UniqueFd file;  // the first file descriptor the reply carries, if any
};

Reply call(GDBusConnection* bus, const char* path, const char* interface, const char* method,
           GVariant* arguments, std::chrono::milliseconds limit) {
  GError* error = nullptr;
  GUnixFDList* files = nullptr;
  Reply reply;
  reply.value.reset(g_dbus_connection_call_with_unix_fd_list_sync(
      bus, serviceName, path, interface, method, arguments, nullptr, G_DBUS_CALL_FLAGS_NONE,
      static_cast<int>(limit.count()), nullptr, &files, nullptr, &error));
  if (error) g_error_free(error);
  if (files) {
    if (g_unix_fd_list_get_length(files) > 0)
      reply.file = UniqueFd(g_unix_fd_list_get(files, 0, nullptr));
    g_object_unref(files);
  }
  return reply;
}

// The pipes the service hands out do not block: wait for each on its own, within `deadline`.
bool ready(int file, short event, std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  pollfd waiting{file, event, 0};
  return left.count() > 0 && ::poll(&waiting, 1, static_cast<int>(left.count())) > 0;
}

GVariant* noOptions() {
  return g_variant_new("(a{sv})", nullptr);
}

}  // namespace

std::unique_ptr<RemoteDesktopClipboard> RemoteDesktopClipboard::open(
    std::chrono::milliseconds callLimit) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (error) g_error_free(error);
  if (!bus) return nullptr;
  std::unique_ptr<RemoteDesktopClipboard> clipboard(new RemoteDesktopClipboard(bus, callLimit));
  if (!clipboard->openSessions()) return nullptr;
  clipboard->server_ = std::thread([loop = clipboard->loop_, context = clipboard->context_] {
    g_main_context_push_thread_default(context);
    g_main_loop_run(loop);
    g_main_context_pop_thread_default(context);
  });
  return clipboard;
}

RemoteDesktopClipboard::RemoteDesktopClipboard(GDBusConnection* bus,
                                               std::chrono::milliseconds callLimit)
    : bus_(bus),
      callLimit_(callLimit),
      context_(g_main_context_new()),
      loop_(g_main_loop_new(context_, FALSE)) {}

bool RemoteDesktopClipboard::openSessions() {
  for (std::string* session : {&owner_, &reader_}) {
    Reply made = call(bus_, servicePath, "org.gnome.Mutter.RemoteDesktop", "CreateSession", nullptr,
                      callLimit_);
    if (!made.value) return false;
    const char* path = nullptr;
    g_variant_get(made.value.get(), "(&o)", &path);
    *session = path;
    if (!call(bus_, path, sessionInterface, "EnableClipboard", noOptions(), callLimit_).value) {
      return false;
    }
  }
  // The service asks for the text on the server's thread: signals go to the context that was the
  // thread's default when they were subscribed to.
  g_main_context_push_thread_default(context_);
  transferSubscription_ = g_dbus_connection_signal_subscribe(
      bus_, serviceName, sessionInterface, "SelectionTransfer", owner_.c_str(), nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &RemoteDesktopClipboard::transferSignal, this, nullptr);
  g_main_context_pop_thread_default(context_);
  return true;
}

RemoteDesktopClipboard::~RemoteDesktopClipboard() {
  if (server_.joinable()) {
    quitLoopOfAnotherThread(context_, loop_);
    server_.join();
  }
  if (transferSubscription_) g_dbus_connection_signal_unsubscribe(bus_, transferSubscription_);
  // Sessions not started end with Stop; the service also ends them when the connection goes.
  for (const std::string& session : {owner_, reader_}) {
    if (!session.empty())
      call(bus_, session.c_str(), sessionInterface, "Stop", nullptr, callLimit_);
  }
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
  g_object_unref(bus_);
}

bool RemoteDesktopClipboard::writeString(const std::string& text) {
  {
    std::lock_guard lock(mutex_);
    text_ = text;
  }
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  const char* types[] = {textType, "UTF8_STRING", "text/plain", nullptr};
  g_variant_builder_add(&options, "{sv}", "mime-types", g_variant_new_strv(types, -1));
  if (!call(bus_, owner_.c_str(), sessionInterface, "SetSelection",
            g_variant_new("(a{sv})", &options), callLimit_)
           .value) {
    return false;
  }
  return readBack() == text;
}

std::string RemoteDesktopClipboard::readBack() {
  Reply reply = call(bus_, reader_.c_str(), sessionInterface, "SelectionRead",
                     g_variant_new("(s)", textType), callLimit_);
  if (!reply.value || !reply.file) return {};
  // The owner's thread writes the text into this pipe meanwhile; the read is bounded as a call.
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + callLimit_;
  char buffer[4096];
  for (;;) {
    if (!ready(reply.file.get(), POLLIN, deadline)) return {};
    const ssize_t count = ::read(reply.file.get(), buffer, sizeof buffer);
    if (count == 0) return text;
    if (count < 0 && errno != EAGAIN && errno != EINTR) return {};
    if (count > 0) text.append(buffer, static_cast<size_t>(count));
  }
}

void RemoteDesktopClipboard::transferSignal(GDBusConnection*, const char*, const char*, const char*,
                                            const char*, GVariant* parameters, void* self) {
  auto& clipboard = *static_cast<RemoteDesktopClipboard*>(self);
  const char* type = nullptr;
  uint32_t serial = 0;
  g_variant_get(parameters, "(&su)", &type, &serial);
  Reply reply = call(clipboard.bus_, clipboard.owner_.c_str(), sessionInterface, "SelectionWrite",
                     g_variant_new("(u)", serial), clipboard.callLimit_);
  bool written = false;
  if (reply.file) {
    std::string text;
    {
      std::lock_guard lock(clipboard.mutex_);
      text = clipboard.text_;
    }
    const auto deadline = std::chrono::steady_clock::now() + clipboard.callLimit_;
    size_t done = 0;
    while (done < text.size() && ready(reply.file.get(), POLLOUT, deadline)) {
      const ssize_t count = ::write(reply.file.get(), text.data() + done, text.size() - done);
      if (count < 0 && errno != EAGAIN && errno != EINTR) break;
      if (count > 0) done += static_cast<size_t>(count);
    }
    written = done == text.size();
    reply.file = UniqueFd();  // the reader sees the end
  }
  call(clipboard.bus_, clipboard.owner_.c_str(), sessionInterface, "SelectionWriteDone",
       g_variant_new("(ub)", serial, written), clipboard.callLimit_);
}

}  // namespace wrenly
