#include "platform/linux/atspi/AtspiAccessibility.h"

#include <atspi/atspi.h>
#include <gio/gio.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/linux/atspi/AtspiElement.h"

namespace wrenly {

namespace {

using Clock = std::chrono::steady_clock;
using AccessibleRef = GObjectRef<AtspiAccessible>;

// A walk of a toolkit without the Collection interface stops here rather than run long.
constexpr int maximumWalkedElements = 4000;
// Start-up waits (the bus address, the first registration) never stall the program longer.
constexpr std::chrono::milliseconds setUpBound{3000};
// A walk in the background holds the home thread this long at a time, so calls go between.
constexpr std::chrono::milliseconds walkSlice{5};
// A window becomes active before its application says its toolkit: asked again this often, as
// many times.
constexpr guint toolkitRetryMilliseconds = 100;
constexpr int toolkitAttempts = 50;

constexpr const char* busLauncher = "org.a11y.Bus";
constexpr const char* busLauncherPath = "/org/a11y/bus";
constexpr const char* statusInterface = "org.a11y.Status";

bool hasState(AtspiAccessible* accessible, AtspiStateType state) {
  auto states = GObjectRef<AtspiStateSet>::adopt(atspi_accessible_get_state_set(accessible));
  return states && atspi_state_set_contains(states.get(), state);
}

bool takesText(AtspiAccessible* accessible) {
  AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(accessible);
  if (editable) g_object_unref(editable);
  return editable != nullptr;
}

struct GFreer {
  void operator()(void* data) const { g_free(data); }
};

// GTK 4 (4.8 at least) leaves SHOWING off on the element it focuses, so a walk that prunes
// what is not on screen never reaches it. None while the application does not say yet.
std::optional<bool> hidesFocus(AtspiAccessible* application) {
  std::unique_ptr<gchar, GFreer> name(atspi_accessible_get_toolkit_name(application, nullptr));
  std::unique_ptr<gchar, GFreer> version(
      atspi_accessible_get_toolkit_version(application, nullptr));
  if (!name || !version) return std::nullopt;
  return std::string_view(name.get()) == "GTK" && std::string_view(version.get()).starts_with("4.");
}

// Depth first from an application's root to its focused element. It can stop at a deadline and
// go on later: the first walk of a tree is slow (every node a round trip), so it is begun in the
// background when a window becomes active and a capture carries on from where it got to.
class FocusWalk {
 public:
  FocusWalk(AccessibleRef root, bool pruneHidden)
      : root_(std::move(root)), pruneHidden_(pruneHidden) {
    pending_.push_back(root_);
  }

  // The focused element; none when the deadline came first or the whole tree was walked.
  AccessibleRef resume(Clock::time_point deadline) {
    while (!pending_.empty() && walked_ < maximumWalkedElements) {
      if (Clock::now() >= deadline) return {};
      AccessibleRef element = std::move(pending_.back());
      pending_.pop_back();
      ++walked_;
      if (element.get() != root_.get() && hasState(element.get(), ATSPI_STATE_FOCUSED)) {
        return element;
      }
      const int count = atspi_accessible_get_child_count(element.get(), nullptr);
      for (int i = count - 1; i >= 0; --i) {
        auto child =
            AccessibleRef::adopt(atspi_accessible_get_child_at_index(element.get(), i, nullptr));
        if (child && (!pruneHidden_ || hasState(child.get(), ATSPI_STATE_SHOWING))) {
          pending_.push_back(std::move(child));
        }
      }
    }
    pending_.clear();
    return {};
  }
  bool finished() const { return pending_.empty(); }
  // Walks through what is on screen only are quick and are not kept between captures.
  bool prunesHidden() const { return pruneHidden_; }

 private:
  AccessibleRef root_;
  bool pruneHidden_;
  std::vector<AccessibleRef> pending_;
  int walked_ = 0;
};

std::optional<bool> parseIsEnabled(GVariant* reply) {
  if (!reply) return std::nullopt;
  GVariant* value = nullptr;
  g_variant_get(reply, "(v)", &value);
  std::optional<bool> enabled;
  if (value && g_variant_is_of_type(value, G_VARIANT_TYPE_BOOLEAN)) {
    enabled = g_variant_get_boolean(value);
  }
  if (value) g_variant_unref(value);
  g_variant_unref(reply);
  return enabled;
}

GVariant* isEnabledQuery() {
  return g_variant_new("(ss)", statusInterface, "IsEnabled");
}

// Asks without waiting. A bus that does not answer within the bound (a loaded machine at login)
// is asked again, a few times, so the answer still lands; the status signal covers later changes.
void readBusEnabled(GDBusConnection* session, std::shared_ptr<std::atomic<bool>> enabled,
                    int attemptsLeft = 10) {
  struct Pending {
    std::shared_ptr<std::atomic<bool>> flag;
    int attemptsLeft;
  };
  g_dbus_connection_call(
      session, busLauncher, busLauncherPath, "org.freedesktop.DBus.Properties", "Get",
      isEnabledQuery(), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr,
      [](GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
        auto* connection = G_DBUS_CONNECTION(source);
        GVariant* reply = g_dbus_connection_call_finish(connection, result, nullptr);
        if (auto value = parseIsEnabled(reply)) {
          pending->flag->store(*value);
        } else if (pending->attemptsLeft > 1 && !g_dbus_connection_is_closed(connection)) {
          readBusEnabled(connection, std::move(pending->flag), pending->attemptsLeft - 1);
        }
      },
      new Pending{std::move(enabled), attemptsLeft});
}

// Asked once at start, and waited for: the trigger key is installed right after. A bus too slow
// to answer within the bound is asked again without waiting, so the answer still lands.
void readBusEnabledNow(GDBusConnection* session,
                       const std::shared_ptr<std::atomic<bool>>& enabled) {
  GVariant* reply = g_dbus_connection_call_sync(
      session, busLauncher, busLauncherPath, "org.freedesktop.DBus.Properties", "Get",
      isEnabledQuery(), G_VARIANT_TYPE("(v)"), G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr);
  if (auto value = parseIsEnabled(reply)) {
    enabled->store(*value);
  } else {
    readBusEnabled(session, enabled);
  }
}

// Chromium and the programs built on it (Electron) leave their pages and most of their window
// out of the bus until an assistive technology shows itself, and take a read of the
// application's attributes, as a screen reader makes when it meets an application, as that sign
// (the bus's status, a registered listener or the environment do not). The tree is then built
// within some 10-20 ms and kept for the program's life. Both report their toolkit by this name.
bool buildsTreeWhenAsked(AtspiAccessible* application) {
  // libatspi keeps the name once read: later dictations ask nothing more of other applications.
  GError* error = nullptr;
  gchar* toolkit = atspi_accessible_get_toolkit_name(application, &error);
  const bool asks = toolkit && std::string_view(toolkit) == "Chromium";
  g_free(toolkit);
  if (error) g_error_free(error);
  return asks;
}

// Asked again at each dictation, as the browser may have let its tree go meanwhile; libatspi
// keeps no attributes, so the read always reaches the application. False when it did not answer.
bool askForElementTree(AtspiAccessible* application) {
  GError* error = nullptr;
  GHashTable* attributes = atspi_accessible_get_attributes(application, &error);
  if (attributes) g_hash_table_unref(attributes);
  if (!error) return true;
  g_error_free(error);
  return false;
}

}  // namespace

struct AtspiAccessibility::HomeState {
  std::shared_ptr<std::atomic<bool>> busEnabled;
  GDBusConnection* session = nullptr;
  guint statusSubscription = 0;
  AtspiEventListener* focusListener = nullptr;
  AtspiEventListener* activeListener = nullptr;
  std::map<int32_t, AccessibleRef> lastFocused;  // by process
  std::map<std::string, int32_t> processOfBus;   // the bus never reuses a connection name
  std::map<int32_t, FocusWalk> walks;            // unfinished walks of trees that hide focus
  guint walkSource = 0;
  std::map<int32_t, int> undecided;  // attempts to learn the toolkit, by process
  guint undecidedSource = 0;
  bool walking = false;  // a libatspi call can dispatch the context again while it waits

  std::optional<int32_t> processOf(AtspiAccessible* accessible) {
    auto* application = ATSPI_OBJECT(accessible)->app;
    if (!application || !application->bus_name) return std::nullopt;
    if (auto known = processOfBus.find(application->bus_name); known != processOfBus.end()) {
      return known->second;
    }
    const auto processID = askProcessID(accessible);
    if (processID) processOfBus.emplace(application->bus_name, *processID);
    return processID;
  }

  AccessibleRef application(int32_t processID) {
    auto desktop = AccessibleRef::adopt(atspi_get_desktop(0));
    if (!desktop) return {};
    const int count = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (int i = 0; i < count; ++i) {
      auto child =
          AccessibleRef::adopt(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
      if (child && processOf(child.get()) == processID) return child;
    }
    return {};
  }

  // The focused element by the Collection interface; `supported` false when there is none.
  static AccessibleRef collectionQuery(AtspiAccessible* application, bool& supported) {
    auto collection =
        GObjectRef<AtspiCollection>::adopt(atspi_accessible_get_collection_iface(application));
    supported = static_cast<bool>(collection);
    if (!collection) return {};
    auto states = GObjectRef<AtspiStateSet>::adopt(atspi_state_set_new(nullptr));
    atspi_state_set_add(states.get(), ATSPI_STATE_FOCUSED);
    auto rule = GObjectRef<AtspiMatchRule>::adopt(atspi_match_rule_new(
        states.get(), ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_NONE, nullptr,
        ATSPI_Collection_MATCH_NONE, nullptr, ATSPI_Collection_MATCH_NONE, FALSE));
    GError* error = nullptr;
    GArray* matches = atspi_collection_get_matches(
        collection.get(), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL, 1, TRUE, &error);
    if (error) {
      supported = false;
      g_error_free(error);
    }
    AccessibleRef found;
    if (!matches) return found;
    for (guint i = 0; i < matches->len; ++i) {
      auto match = AccessibleRef::adopt(g_array_index(matches, AtspiAccessible*, i));
      if (!found) found = std::move(match);
    }
    g_array_free(matches, TRUE);
    return found;
  }

  // Carries on with the application's walk in the background, or begins one; kept when
  // unfinished where the tree hides its focus.
  AccessibleRef walk(int32_t processID, const AccessibleRef& root, Clock::time_point deadline) {
    if (walking) return {};
    auto kept = walks.find(processID);
    if (kept == walks.end()) {
      kept =
          walks.emplace(processID, FocusWalk(root, !hidesFocus(root.get()).value_or(false))).first;
    }
    walking = true;
    auto found = kept->second.resume(deadline);
    walking = false;
    if (found || kept->second.finished() || kept->second.prunesHidden()) {
      walks.erase(kept);
    } else {
      scheduleWalks();
    }
    return found;
  }

  // A window of an application whose focus no capture or event has shown yet became active.
  void beginWalk(AtspiAccessible* source) {
    const auto processID = processOf(source);
    if (!processID || lastFocused.contains(*processID) || walks.contains(*processID)) return;
    considerWalk(*processID, 1);
  }

  void considerWalk(int32_t processID, int attempt) {
    auto root = application(processID);
    const auto hides = root ? hidesFocus(root.get()) : std::nullopt;
    if (hides == true) {
      walks.emplace(processID, FocusWalk(std::move(root), false));
      scheduleWalks();
    } else if (!hides && attempt < toolkitAttempts) {
      undecided.insert_or_assign(processID, attempt + 1);
      if (undecidedSource == 0) {
        undecidedSource = g_timeout_add(toolkitRetryMilliseconds, askAgain, this);
      }
    }
  }

  static gboolean askAgain(gpointer data) {
    auto* state = static_cast<HomeState*>(data);
    state->undecidedSource = 0;
    for (auto [processID, attempt] : std::exchange(state->undecided, {})) {
      if (state->lastFocused.contains(processID) || state->walks.contains(processID)) continue;
      state->considerWalk(processID, attempt);
    }
    return G_SOURCE_REMOVE;
  }

  void scheduleWalks() {
    if (walkSource == 0) walkSource = g_idle_add_full(G_PRIORITY_LOW, walkOn, this, nullptr);
  }

  static gboolean walkOn(gpointer data) {
    auto* state = static_cast<HomeState*>(data);
    if (state->walking) return G_SOURCE_CONTINUE;
    if (state->walks.empty()) {
      state->walkSource = 0;
      return G_SOURCE_REMOVE;
    }
    auto next = state->walks.begin();
    state->walking = true;
    auto found = next->second.resume(Clock::now() + walkSlice);
    state->walking = false;
    if (found || next->second.finished()) {
      if (found) state->lastFocused[next->first] = std::move(found);
      state->walks.erase(next);
    }
    return G_SOURCE_CONTINUE;
  }

  // Qt 5 marks the containers of the focused widget (and others: a tab, a status button)
  // focused too, and its focus events may name one of them last: below a focused element that
  // takes no text, the element with the focus is the innermost focused one.
  static AccessibleRef innermostFocused(AccessibleRef found, Clock::time_point deadline) {
    AccessibleRef innermost = found;
    std::vector<AccessibleRef> pending{std::move(found)};
    for (int walked = 0; !pending.empty() && walked < maximumWalkedElements; ++walked) {
      if (Clock::now() >= deadline || takesText(innermost.get())) break;
      AccessibleRef element = std::move(pending.back());
      pending.pop_back();
      if (element.get() != innermost.get() && hasState(element.get(), ATSPI_STATE_FOCUSED)) {
        innermost = element;
        pending.clear();  // only its own descendants from here
      }
      const int count = atspi_accessible_get_child_count(element.get(), nullptr);
      for (int i = count - 1; i >= 0; --i) {
        auto child =
            AccessibleRef::adopt(atspi_accessible_get_child_at_index(element.get(), i, nullptr));
        if (child && hasState(child.get(), ATSPI_STATE_SHOWING)) pending.push_back(child);
      }
    }
    return innermost;
  }

  AccessibleRef focused(int32_t processID, Clock::time_point deadline) {
    auto found = reportedFocus(processID, deadline);
    if (!found) return found;
    auto innermost = innermostFocused(found, deadline);
    if (innermost.get() != found.get()) lastFocused[processID] = innermost;
    return innermost;
  }

  AccessibleRef reportedFocus(int32_t processID, Clock::time_point deadline) {
    if (auto known = lastFocused.find(processID); known != lastFocused.end()) {
      if (!hasState(known->second.get(), ATSPI_STATE_DEFUNCT)) return known->second;
      // libatspi keeps states from events, and GTK 4 on Wayland leaves some behind that say
      // defunct: asked afresh before the element is given up.
      atspi_accessible_clear_cache(known->second.get());
      if (!hasState(known->second.get(), ATSPI_STATE_DEFUNCT)) return known->second;
      lastFocused.erase(known);
    }
    auto root = application(processID);
    if (!root) return {};
    bool supported = false;
    auto found = collectionQuery(root.get(), supported);
    if (!supported) found = walk(processID, root, deadline);
    if (found) lastFocused[processID] = found;
    return found;
  }
};

AtspiAccessibility::AtspiAccessibility(KeyAccess keyAccess)
    : keyAccess_(keyAccess),
      home_(std::make_shared<AtspiHomeThread>()),
      state_(std::make_unique<HomeState>()) {
  state_->busEnabled = busEnabled_;
  home_->call<bool>(
      [state = state_.get()] {
        applyAtspiTimeout(setUpBound);
        state->focusListener = atspi_event_listener_new(focusChanged, state, nullptr);
        atspi_event_listener_register(state->focusListener, "object:state-changed:focused",
                                      nullptr);
        state->activeListener = atspi_event_listener_new(activeChanged, state, nullptr);
        atspi_event_listener_register(state->activeListener, "object:state-changed:active",
                                      nullptr);
        state->session = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (!state->session) return false;
        state->statusSubscription = g_dbus_connection_signal_subscribe(
            state->session, busLauncher, "org.freedesktop.DBus.Properties", "PropertiesChanged",
            busLauncherPath, statusInterface, G_DBUS_SIGNAL_FLAGS_NONE, busStatusChanged, state,
            nullptr);
        readBusEnabledNow(state->session, state->busEnabled);
        return true;
      },
      setUpBound);
}

AtspiAccessibility::~AtspiAccessibility() {
  // The state belongs to the home thread: it is dismantled there, after any work queued.
  home_->post([state = state_.release()] {
    if (state->focusListener) {
      atspi_event_listener_deregister(state->focusListener, "object:state-changed:focused",
                                      nullptr);
      g_object_unref(state->focusListener);
    }
    if (state->activeListener) {
      atspi_event_listener_deregister(state->activeListener, "object:state-changed:active",
                                      nullptr);
      g_object_unref(state->activeListener);
    }
    if (state->walkSource) g_source_remove(state->walkSource);
    if (state->undecidedSource) g_source_remove(state->undecidedSource);
    if (state->session) {
      if (state->statusSubscription) {
        g_dbus_connection_signal_unsubscribe(state->session, state->statusSubscription);
      }
      g_object_unref(state->session);
    }
    delete state;
  });
}

void AtspiAccessibility::focusChanged(AtspiEvent* event, void* data) {
  auto* state = static_cast<HomeState*>(data);
  if (event->detail1 == 1 && event->source) {
    if (auto processID = state->processOf(event->source)) {
      state->lastFocused[*processID] = AccessibleRef::retain(event->source);
      state->walks.erase(*processID);
    }
  }
  g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void AtspiAccessibility::activeChanged(AtspiEvent* event, void* data) {
  if (event->detail1 == 1 && event->source) static_cast<HomeState*>(data)->beginWalk(event->source);
  g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void AtspiAccessibility::busStatusChanged(GDBusConnection*, const char*, const char*, const char*,
                                          const char*, GVariant* parameters, void* data) {
  auto* state = static_cast<HomeState*>(data);
  GVariant* changed = nullptr;
  const char* interface = nullptr;
  g_variant_get(parameters, "(&s@a{sv}@as)", &interface, &changed, nullptr);
  gboolean enabled = FALSE;
  if (changed && g_variant_lookup(changed, "IsEnabled", "b", &enabled)) {
    state->busEnabled->store(enabled);
  }
  if (changed) g_variant_unref(changed);
}

bool AtspiAccessibility::isTrusted() const {
  return keyAccess_ == KeyAccess::available && busEnabled_->load();
}

void AtspiAccessibility::requestTrust() {
  home_->post([state = state_.get()] {
    if (!state->session) return;
    g_dbus_connection_call(
        state->session, busLauncher, busLauncherPath, "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", statusInterface, "IsEnabled", g_variant_new_boolean(TRUE)), nullptr,
        G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr, nullptr);
    readBusEnabled(state->session, state->busEnabled);
  });
}

ElementHandle AtspiAccessibility::focusedElement(int32_t processID, Timeout timeout) {
  auto home = home_;
  auto found = home_->call<ElementHandle>(
      [state = state_.get(), home, processID, timeout]() -> ElementHandle {
        applyAtspiTimeout(timeout);
        auto element = state->focused(processID, Clock::now() + timeout);
        if (!element) return nullptr;
        return std::make_shared<AtspiElement>(home, element.release(), timeout);
      },
      timeout);
  return found.value_or(nullptr);
}

int AtspiAccessibility::prepareApplication(int32_t processID, Timeout timeout) {
  // An application that is not on the bus, or builds its tree unasked, needs nothing: no failure.
  constexpr int asked = 0, notAnswered = 1;
  const auto result = home_->call<int>(
      [state = state_.get(), processID, timeout] {
        applyAtspiTimeout(timeout);
        const auto application = state->application(processID);
        if (!application || !buildsTreeWhenAsked(application.get())) return asked;
        return askForElementTree(application.get()) ? asked : notAnswered;
      },
      timeout);
  return result.value_or(notAnswered);
}

}  // namespace wrenly
