#include "platform/linux/wayland/PortalChordRegistrar.h"

#include <gio/gio.h>

#include <atomic>
#include <future>
#include <string_view>
#include <utility>

#include "platform/linux/wayland/GLibLoopQuit.h"
#include "platform/linux/wayland/PortalOptions.h"

namespace wrenly {

namespace {

constexpr const char* portalName = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* shortcutsInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr const char* chordID = "wrenly-dictate";

// The portal's names for the modifiers, in the order it writes them.
std::string triggerOf(const TriggerChord& chord) {
  std::string trigger;
  const std::pair<Key, const char*> names[] = {
      {Key::control, "CTRL+"}, {Key::alt, "ALT+"}, {Key::shift, "SHIFT+"}, {Key::super, "LOGO+"}};
  for (auto [kind, name] : names) {
    if (chord.held.holds(kind)) trigger += name;
  }
  switch (chord.key) {
    case Key::r:
      return trigger + "R";
    case Key::v:
      return trigger + "V";
    default:
      return {};
  }
}

// Runs `work` on the thread that iterates `context` and waits for it: signals are delivered to
// the context that was the subscribing thread's default.
void onThread(GMainContext* context, std::function<void()> work) {
  std::packaged_task<void()> task(std::move(work));
  auto done = task.get_future();
  g_main_context_invoke_full(
      context, G_PRIORITY_DEFAULT,
      [](void* run) {
        (*static_cast<std::packaged_task<void()>*>(run))();
        return G_SOURCE_REMOVE;
      },
      &task, nullptr);
  done.wait();
}

// One registration: what its signals call, and whether it still wants them.
struct Binding {
  std::string session;
  std::function<void()> pressed;
  std::function<void()> released;
  std::atomic<bool> active{true};
};

void shortcutSignal(GDBusConnection*, const char*, const char*, const char*, const char* signal,
                    GVariant* parameters, void* data) {
  auto& binding = **static_cast<std::shared_ptr<Binding>*>(data);
  const char* session = nullptr;
  const char* id = nullptr;
  g_variant_get_child(parameters, 0, "&o", &session);
  g_variant_get_child(parameters, 1, "&s", &id);
  // Matched here: the bus library matches only strings as the first argument, not paths.
  if (!binding.active || session != binding.session || std::string_view(id) != chordID) return;
  const bool down = std::string_view(signal) == "Activated";
  if (down && binding.pressed) binding.pressed();
  if (!down && binding.released) binding.released();
}

struct Answer {
  std::promise<GVariant*> results;  // null when the portal said no
};

void responseSignal(GDBusConnection*, const char*, const char*, const char*, const char*,
                    GVariant* parameters, void* data) {
  uint32_t response = 0;
  GVariant* results = nullptr;
  g_variant_get(parameters, "(u@a{sv})", &response, &results);
  if (response != 0) {
    g_variant_unref(results);
    results = nullptr;
  }
  try {
    static_cast<Answer*>(data)->results.set_value(results);
  } catch (const std::future_error&) {  // a second answer to one request
    if (results) g_variant_unref(results);
  }
}

}  // namespace

std::unique_ptr<PortalChordRegistrar> PortalChordRegistrar::open(
    ChordRegistrar* fallback, std::chrono::milliseconds callLimit) {
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (error) g_error_free(error);
  if (!bus) return nullptr;
  return std::unique_ptr<PortalChordRegistrar>(new PortalChordRegistrar(bus, fallback, callLimit));
}

PortalChordRegistrar::PortalChordRegistrar(GDBusConnection* bus, ChordRegistrar* fallback,
                                           std::chrono::milliseconds callLimit)
    : bus_(bus),
      fallback_(fallback),
      callLimit_(callLimit),
      context_(g_main_context_new()),
      loop_(g_main_loop_new(context_, FALSE)) {
  signals_ = std::thread([this] {
    g_main_context_push_thread_default(context_);
    g_main_loop_run(loop_);
    g_main_context_pop_thread_default(context_);
  });
}

PortalChordRegistrar::~PortalChordRegistrar() {
  quitLoopOfAnotherThread(context_, loop_);
  signals_.join();
  g_main_loop_unref(loop_);
  g_main_context_unref(context_);
  g_object_unref(bus_);
}

GVariant* PortalChordRegistrar::ask(const char* method, GVariant* arguments,
                                    const std::string& token) {
  std::string sender = g_dbus_connection_get_unique_name(bus_) + 1;
  for (char& c : sender) {
    if (c == '.') c = '_';
  }
  const std::string path = std::string(portalPath) + "/request/" + sender + "/" + token;
  Answer answer;
  auto results = answer.results.get_future();
  unsigned subscription = 0;
  onThread(context_, [&] {
    subscription = g_dbus_connection_signal_subscribe(
        bus_, portalName, "org.freedesktop.portal.Request", "Response", path.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE, &responseSignal, &answer, nullptr);
  });
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(
      bus_, portalName, portalPath, shortcutsInterface, method, arguments, nullptr,
      G_DBUS_CALL_FLAGS_NONE, static_cast<int>(callLimit_.count()), nullptr, &error);
  if (error) g_error_free(error);
  GVariant* answered = nullptr;
  if (reply) {
    g_variant_unref(reply);
    if (results.wait_for(callLimit_) == std::future_status::ready) answered = results.get();
  }
  // Unsubscribed on the signals' thread, so no answer arrives after `answer` is gone.
  onThread(context_, [&] { g_dbus_connection_signal_unsubscribe(bus_, subscription); });
  if (!answered && results.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
    if (GVariant* late = results.get()) g_variant_unref(late);
  }
  return answered;
}

Subscription PortalChordRegistrar::registerChord(TriggerChord chord, std::function<void()> pressed,
                                                 std::function<void()> released) {
  Subscription bound = bind(chord, pressed, released);
  if (bound || !fallback_) return bound;
  return fallback_->registerChord(chord, std::move(pressed), std::move(released));
}

Subscription PortalChordRegistrar::bind(const TriggerChord& chord, std::function<void()>& pressed,
                                        std::function<void()>& released) {
  const std::string trigger = triggerOf(chord);
  if (trigger.empty()) return {};
  auto shortcuts = [&trigger] {
    GVariantBuilder details;
    g_variant_builder_init(&details, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&details, "{sv}", "description",
                          g_variant_new_string("Wrenly: start or stop dictation"));
    g_variant_builder_add(&details, "{sv}", "preferred_trigger",
                          g_variant_new_string(trigger.c_str()));
    GVariantBuilder list;
    g_variant_builder_init(&list, G_VARIANT_TYPE("a(sa{sv})"));
    g_variant_builder_add(&list, "(sa{sv})", chordID, &details);
    return g_variant_builder_end(&list);
  };
  auto bound = [](GVariant* results) {
    GVariant* list = results ? g_variant_lookup_value(results, "shortcuts", nullptr) : nullptr;
    const bool any = list && g_variant_n_children(list) > 0;
    if (list) g_variant_unref(list);
    return any;
  };

  // Backends of the first version of the interface take the shortcuts with the session; later
  // ones at BindShortcuts.
  const std::string token = "wrenly" + std::to_string(++requests_);
  GVariantBuilder options;
  beginSessionOptions(options, token);
  g_variant_builder_add(&options, "{sv}", "shortcuts", shortcuts());
  GVariant* created = ask("CreateSession", g_variant_new("(a{sv})", &options), token);
  if (!created) return {};
  const char* handle = nullptr;
  std::string session;
  if (g_variant_lookup(created, "session_handle", "&s", &handle)) session = handle;
  bool ready = bound(created);
  g_variant_unref(created);
  if (session.empty()) return {};
  if (!ready) {
    const std::string bindToken = "wrenly" + std::to_string(++requests_);
    GVariantBuilder bindOptions;
    g_variant_builder_init(&bindOptions, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&bindOptions, "{sv}", "handle_token",
                          g_variant_new_string(bindToken.c_str()));
    GVariant* answer =
        ask("BindShortcuts",
            g_variant_new("(o@a(sa{sv})sa{sv})", session.c_str(), shortcuts(), "", &bindOptions),
            bindToken);
    ready = bound(answer);
    if (answer) g_variant_unref(answer);
  }
  auto close = [bus = bus_, limit = callLimit_, session] {
    GVariant* reply = g_dbus_connection_call_sync(
        bus, portalName, session.c_str(), "org.freedesktop.portal.Session", "Close", nullptr,
        nullptr, G_DBUS_CALL_FLAGS_NONE, static_cast<int>(limit.count()), nullptr, nullptr);
    if (reply) g_variant_unref(reply);
  };
  if (!ready) {
    close();
    return {};
  }

  auto binding = std::make_shared<Binding>();
  binding->session = session;
  binding->pressed = std::move(pressed);
  binding->released = std::move(released);
  unsigned subscriptions[2] = {};
  onThread(context_, [&] {
    int i = 0;
    for (const char* signal : {"Activated", "Deactivated"}) {
      subscriptions[i++] = g_dbus_connection_signal_subscribe(
          bus_, portalName, shortcutsInterface, signal, portalPath, nullptr,
          G_DBUS_SIGNAL_FLAGS_NONE, &shortcutSignal, new std::shared_ptr<Binding>(binding),
          [](void* data) { delete static_cast<std::shared_ptr<Binding>*>(data); });
    }
  });
  return Subscription([this, binding, subscriptions, close] {
    binding->active = false;
    onThread(context_, [&] {
      for (unsigned subscription : subscriptions) {
        g_dbus_connection_signal_unsubscribe(bus_, subscription);
      }
    });
    close();
  });
}

}  // namespace wrenly
