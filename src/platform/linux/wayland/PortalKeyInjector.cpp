#include "platform/linux/wayland/PortalKeyInjector.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "platform/linux/wayland/PortalOptions.h"
#include "platform/linux/wayland/UniqueFd.h"

namespace wrenly {

namespace {

constexpr const char* portalName = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* remoteDesktop = "org.freedesktop.portal.RemoteDesktop";
constexpr uint32_t keyboardDevice = 1;  // the portal's device types are bits
constexpr uint32_t persistUntilRevoked = 2;
constexpr uint32_t userCancelled = 1;    // a Response code
constexpr uint32_t controlKey = 0xffe3;  // keysyms: the desktop maps them onto its own layout
constexpr uint32_t shiftKey = 0xffe1;
constexpr uint32_t vKey = 0x76;

struct VariantUnref {
  void operator()(GVariant* value) const { g_variant_unref(value); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

int milliseconds(std::chrono::milliseconds limit) {
  return static_cast<int>(limit.count());
}

// One call with a bounded wait; null on any failure.
Variant call(GDBusConnection* bus, const char* path, const char* interface, const char* method,
             GVariant* arguments, std::chrono::milliseconds limit) {
  GError* error = nullptr;
  Variant reply(g_dbus_connection_call_sync(bus, portalName, path, interface, method, arguments,
                                            nullptr, G_DBUS_CALL_FLAGS_NONE, milliseconds(limit),
                                            nullptr, &error));
  if (error) g_error_free(error);
  return reply;
}

std::optional<uint32_t> portalProperty(GDBusConnection* bus, const char* name,
                                       std::chrono::milliseconds limit) {
  Variant reply = call(bus, portalPath, "org.freedesktop.DBus.Properties", "Get",
                       g_variant_new("(ss)", remoteDesktop, name), limit);
  if (!reply) return std::nullopt;
  Variant boxed;
  {
    GVariant* inner = nullptr;
    g_variant_get(reply.get(), "(v)", &inner);
    boxed.reset(inner);
  }
  if (!g_variant_is_of_type(boxed.get(), G_VARIANT_TYPE_UINT32)) return std::nullopt;
  return g_variant_get_uint32(boxed.get());
}

// Signals go to the context that was the thread's default when they were subscribed to.
struct ContextPushed {
  explicit ContextPushed(GMainContext* pushed) : context(pushed) {
    g_main_context_push_thread_default(pushed);
  }
  ~ContextPushed() { g_main_context_pop_thread_default(context); }
  GMainContext* context;
};

std::string readToken(const std::filesystem::path& file) {
  std::ifstream in(file);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The token opens the desktop to this program's keys without asking: only its user may read it.
void writeToken(const std::filesystem::path& file, const std::string& token) {
  std::error_code ignored;
  std::filesystem::create_directories(file.parent_path(), ignored);
  UniqueFd out(::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  if (!out) return;
  if (::write(out.get(), token.data(), token.size()) != static_cast<ssize_t>(token.size())) {
    std::filesystem::remove(file, ignored);
  }
}

}  // namespace

std::unique_ptr<PortalKeyInjector> PortalKeyInjector::open(TerminalCheck isTerminal,
                                                           std::filesystem::path tokenFile,
                                                           Limits limits) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (error) g_error_free(error);
  if (!bus) return nullptr;
  // A portal without a backend that offers remote desktop has no such interface at all.
  const auto devices = portalProperty(bus, "AvailableDeviceTypes", limits.startUp);
  const auto version = portalProperty(bus, "version", limits.call);
  if (!devices || !(*devices & keyboardDevice) || !version) {
    g_object_unref(bus);
    return nullptr;
  }
  return std::unique_ptr<PortalKeyInjector>(
      new PortalKeyInjector(bus, std::move(isTerminal), std::move(tokenFile), limits, *version));
}

PortalKeyInjector::PortalKeyInjector(GDBusConnection* bus, TerminalCheck isTerminal,
                                     std::filesystem::path tokenFile, Limits limits,
                                     uint32_t version)
    : bus_(bus),
      context_(g_main_context_new()),
      isTerminal_(std::move(isTerminal)),
      tokenFile_(std::move(tokenFile)),
      limits_(limits),
      version_(version) {}

PortalKeyInjector::~PortalKeyInjector() {
  pasteKeyUp();
  forgetSession();
  if (responseSubscription_) g_dbus_connection_signal_unsubscribe(bus_, responseSubscription_);
  // Signals still queued die with the context, undelivered.
  g_main_context_unref(context_);
  g_object_unref(bus_);
}

bool PortalKeyInjector::pasteKeyDown(int32_t processID) {
  pasteKeyUp();
  ContextPushed pushed(context_);
  // What arrived since the last paste: the user may have ended the session from the desktop.
  while (g_main_context_iteration(context_, FALSE)) {
  }
  const bool wasStarted = session_ == Session::started;
  const gint64 asked = g_get_monotonic_time();
  if (session_ == Session::none || session_ == Session::failed) {
    session_ = Session::starting;
    step_ = Step::createSession;
    const std::string token = "wrenly" + std::to_string(++requests_);
    GVariantBuilder options;
    beginSessionOptions(options, token);
    request("CreateSession", g_variant_new("(a{sv})", &options), token);
  }
  if (!waitForSession(limits_.consent)) return false;
  // The user answered, through a dialog that had the keyboard: where the keys would land now is
  // unknown, so this text stays on the clipboard.
  if (!wasStarted && g_get_monotonic_time() - asked > limits_.unasked.count() * 1000) return false;

  std::vector<uint32_t> keys{controlKey};
  if (isTerminal_ && isTerminal_(processID)) keys.push_back(shiftKey);
  keys.push_back(vKey);
  for (uint32_t key : keys) {
    if (!sendKey(key, true)) {
      pasteKeyUp();
      forgetSession();
      return false;
    }
    pressed_.push_back(key);
  }
  return true;
}

void PortalKeyInjector::pasteKeyUp() {
  for (auto key = pressed_.rbegin(); key != pressed_.rend(); ++key) sendKey(*key, false);
  pressed_.clear();
}

void PortalKeyInjector::request(const char* method, GVariant* arguments, const std::string& token) {
  // The portal names the request object after our bus name and the token; its answer may come
  // before the call returns, so the subscription is made first.
  std::string sender = g_dbus_connection_get_unique_name(bus_) + 1;
  for (char& c : sender) {
    if (c == '.') c = '_';
  }
  const std::string path = std::string(portalPath) + "/request/" + sender + "/" + token;
  if (responseSubscription_) g_dbus_connection_signal_unsubscribe(bus_, responseSubscription_);
  responseSubscription_ = g_dbus_connection_signal_subscribe(
      bus_, portalName, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &PortalKeyInjector::responseSignal, this, nullptr);
  if (!call(bus_, portalPath, remoteDesktop, method, arguments, limits_.call)) {
    session_ = Session::failed;
  }
}

void PortalKeyInjector::responseSignal(GDBusConnection*, const char*, const char*, const char*,
                                       const char*, GVariant* parameters, void* self) {
  uint32_t response = 0;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  Variant owned(results);
  static_cast<PortalKeyInjector*>(self)->answered(response, results);
}

void PortalKeyInjector::closedSignal(GDBusConnection*, const char*, const char*, const char*,
                                     const char*, GVariant*, void* self) {
  auto& injector = *static_cast<PortalKeyInjector*>(self);
  injector.sessionHandle_.clear();  // closed already: nothing to close
  injector.forgetSession();
}

void PortalKeyInjector::answered(uint32_t response, GVariant* results) {
  if (session_ != Session::starting) return;
  if (response != 0) {
    session_ =
        step_ == Step::start && response == userCancelled ? Session::refused : Session::failed;
    const Session outcome = session_;
    forgetSession();
    session_ = outcome;
    return;
  }
  const std::string token = "wrenly" + std::to_string(++requests_);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  switch (step_) {
    case Step::createSession: {
      const char* handle = nullptr;
      if (!g_variant_lookup(results, "session_handle", "&s", &handle)) {
        g_variant_builder_clear(&options);
        session_ = Session::failed;
        return;
      }
      sessionHandle_ = handle;
      closedSubscription_ = g_dbus_connection_signal_subscribe(
          bus_, portalName, "org.freedesktop.portal.Session", "Closed", handle, nullptr,
          G_DBUS_SIGNAL_FLAGS_NONE, &PortalKeyInjector::closedSignal, this, nullptr);
      g_variant_builder_add(&options, "{sv}", "types", g_variant_new_uint32(keyboardDevice));
      if (version_ >= 2) {
        g_variant_builder_add(&options, "{sv}", "persist_mode",
                              g_variant_new_uint32(persistUntilRevoked));
        if (const std::string saved = readToken(tokenFile_); !saved.empty()) {
          g_variant_builder_add(&options, "{sv}", "restore_token",
                                g_variant_new_string(saved.c_str()));
        }
      }
      step_ = Step::selectDevices;
      request("SelectDevices", g_variant_new("(oa{sv})", handle, &options), token);
      return;
    }
    case Step::selectDevices:
      step_ = Step::start;
      request("Start", g_variant_new("(osa{sv})", sessionHandle_.c_str(), "", &options), token);
      return;
    case Step::start: {
      g_variant_builder_clear(&options);
      uint32_t devices = 0;
      g_variant_lookup(results, "devices", "u", &devices);
      if (!(devices & keyboardDevice)) {
        forgetSession();
        session_ = Session::refused;
        return;
      }
      if (const char* restore = nullptr;
          g_variant_lookup(results, "restore_token", "&s", &restore)) {
        writeToken(tokenFile_, restore);
      }
      session_ = Session::started;
      // The desktop may drop the first key after the start: let that be one that does nothing.
      sendKey(shiftKey, true);
      sendKey(shiftKey, false);
      return;
    }
  }
}

bool PortalKeyInjector::waitForSession(std::chrono::milliseconds limit) {
  const gint64 deadline = g_get_monotonic_time() + limit.count() * 1000;
  while (session_ == Session::starting) {
    const gint64 left = deadline - g_get_monotonic_time();
    if (left <= 0) break;
    // Wakes the iteration at the deadline if no answer comes.
    GSource* timer = g_timeout_source_new(static_cast<unsigned>(left / 1000 + 1));
    g_source_set_callback(
        timer, [](void*) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(timer, context_);
    g_main_context_iteration(context_, TRUE);
    g_source_destroy(timer);
    g_source_unref(timer);
  }
  return session_ == Session::started;
}

bool PortalKeyInjector::sendKey(uint32_t keysym, bool down) {
  if (sessionHandle_.empty()) return false;
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  return call(bus_, portalPath, remoteDesktop, "NotifyKeyboardKeysym",
              g_variant_new("(oa{sv}iu)", sessionHandle_.c_str(), &options,
                            static_cast<int32_t>(keysym), down ? 1u : 0u),
              limits_.call) != nullptr;
}

void PortalKeyInjector::forgetSession() {
  if (!sessionHandle_.empty()) {
    call(bus_, sessionHandle_.c_str(), "org.freedesktop.portal.Session", "Close", nullptr,
         limits_.call);
    sessionHandle_.clear();
  }
  if (closedSubscription_) g_dbus_connection_signal_unsubscribe(bus_, closedSubscription_);
  closedSubscription_ = 0;
  pressed_.clear();
  session_ = Session::none;
}

}  // namespace wrenly
