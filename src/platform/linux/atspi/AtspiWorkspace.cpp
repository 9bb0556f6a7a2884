#include "platform/linux/atspi/AtspiWorkspace.h"

#include <atspi/atspi.h>
#include <unistd.h>

#include <boost/asio/post.hpp>
#include <string_view>
#include <utility>

#include "base/ProcessState.h"
#include "platform/linux/atspi/AtspiElement.h"
#include "platform/linux/atspi/GObjectRef.h"
#include "platform/linux/x11/XdgOpen.h"

namespace wrenly {

namespace {

using AccessibleRef = GObjectRef<AtspiAccessible>;

// A question to an application at start or in an event never holds the home thread longer.
constexpr std::chrono::milliseconds askBound{600};

constexpr const char* activated = "window:activate";
constexpr const char* deactivated = "window:deactivate";
// Toolkits that send no window events (Qt) say it by the frame's state.
constexpr const char* activeState = "object:state-changed:active";

bool isFrame(AtspiAccessible* accessible) {
  switch (atspi_accessible_get_role(accessible, nullptr)) {
    case ATSPI_ROLE_FRAME:
    case ATSPI_ROLE_WINDOW:
    case ATSPI_ROLE_DIALOG:
    case ATSPI_ROLE_ALERT:
    case ATSPI_ROLE_FILE_CHOOSER:
      return true;
    default:
      return false;
  }
}

// The bus names no object path twice while the application lives, so the pair makes a number
// that stays the frame's (FNV-1a).
uint32_t frameNumber(const AtspiObject* object) {
  uint32_t hash = 2166136261u;
  auto mix = [&hash](std::string_view text) {
    for (const char c : text) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 16777619u;
    }
  };
  mix(object->app && object->app->bus_name ? object->app->bus_name : "");
  mix("/");
  mix(object->path ? object->path : "");
  return hash;
}

}  // namespace

struct AtspiWorkspace::HomeState {
  asio::any_io_executor mainLoop;
  std::weak_ptr<Front> front;
  AtspiEventListener* listener = nullptr;
  std::map<std::string, RunningApplication> applicationOfBus;  // the bus never reuses a name
  bool heard = false;  // an event came before the first look around

  std::optional<RunningApplication> applicationOf(AtspiAccessible* accessible) {
    auto* app = ATSPI_OBJECT(accessible)->app;
    if (!app || !app->bus_name) return std::nullopt;
    if (auto known = applicationOfBus.find(app->bus_name); known != applicationOfBus.end()) {
      return known->second;
    }
    const auto processID = askProcessID(accessible);
    if (!processID) return std::nullopt;
    RunningApplication application{*processID, std::nullopt};
    // The toolkit names the application after the program (its prgname or desktop id).
    if (auto root = AccessibleRef::adopt(atspi_accessible_get_application(accessible, nullptr))) {
      if (gchar* name = atspi_accessible_get_name(root.get(), nullptr)) {
        if (*name) application.applicationID = name;
        g_free(name);
      }
    }
    applicationOfBus.emplace(app->bus_name, application);
    return application;
  }

  void report(AtspiAccessible* frame, bool active) {
    auto application = applicationOf(frame);
    if (!application) return;
    FrameChange change{*application, frameNumber(ATSPI_OBJECT(frame)), active};
    asio::post(mainLoop, [weak = front, change = std::move(change)] {
      // Kept alive through the handlers, which may let the workspace go.
      if (auto alive = weak.lock()) alive->apply(change);
    });
  }

  static void changed(AtspiEvent* event, void* data) {
    auto* state = static_cast<HomeState*>(data);
    if (event->source && event->type) {
      const std::string_view type(event->type);
      applyAtspiTimeout(askBound);
      if (type.starts_with("window:")) {
        state->heard = true;
        state->report(event->source, type == activated);
      } else if (isFrame(event->source)) {
        state->heard = true;
        state->report(event->source, event->detail1 == 1);
      }
    }
    g_boxed_free(ATSPI_TYPE_EVENT, event);
  }

  // The frame active before the first event: each application's top level asked once.
  void lookAround() {
    applyAtspiTimeout(askBound);
    auto desktop = AccessibleRef::adopt(atspi_get_desktop(0));
    const int count = desktop ? atspi_accessible_get_child_count(desktop.get(), nullptr) : 0;
    for (int i = 0; i < count && !heard; ++i) {
      auto app =
          AccessibleRef::adopt(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
      const int frames = app ? atspi_accessible_get_child_count(app.get(), nullptr) : 0;
      for (int j = 0; j < frames && !heard; ++j) {
        auto frame =
            AccessibleRef::adopt(atspi_accessible_get_child_at_index(app.get(), j, nullptr));
        auto states =
            frame ? GObjectRef<AtspiStateSet>::adopt(atspi_accessible_get_state_set(frame.get()))
                  : GObjectRef<AtspiStateSet>();
        if (states && atspi_state_set_contains(states.get(), ATSPI_STATE_ACTIVE)) {
          report(frame.get(), true);
          return;
        }
      }
    }
  }
};

void AtspiWorkspace::Front::apply(const FrameChange& change) {
  const int32_t processID = change.application.processID;
  if (!change.active) {
    if (currentFrame == change.frame) {
      current.reset();
      currentFrame.reset();
    }
    return;
  }
  current = change.application;
  currentFrame = change.frame;
  lastFrame[processID] = change.frame;
  applicationIDs[processID] = change.application.applicationID;
  // Frames of one application taking turns are no switch.
  if (switchedFrom && switchedFrom->processID == processID) return;
  auto previous = std::exchange(switchedFrom, change.application);
  if (previous) deactivations.call(*previous);
  activations.call(change.application);
}

AtspiWorkspace::AtspiWorkspace(asio::any_io_executor mainLoop,
                               std::shared_ptr<AtspiHomeThread> home,
                               std::optional<std::string> ownApplicationID)
    : home_(std::move(home)),
      ownApplicationID_(std::move(ownApplicationID)),
      state_(new HomeState) {
  state_->mainLoop = std::move(mainLoop);
  state_->front = front_;
  home_->post([state = state_] {
    state->listener = atspi_event_listener_new(HomeState::changed, state, nullptr);
    for (const char* event : {activated, deactivated, activeState}) {
      atspi_event_listener_register(state->listener, event, nullptr);
    }
    state->lookAround();
  });
}

AtspiWorkspace::~AtspiWorkspace() {
  // Dismantled on the home thread after the work queued there; changes it posts find no one.
  home_->post([state = state_] {
    if (state->listener) {
      for (const char* event : {activated, deactivated, activeState}) {
        atspi_event_listener_deregister(state->listener, event, nullptr);
      }
      g_object_unref(state->listener);
    }
    delete state;
  });
}

std::optional<RunningApplication> AtspiWorkspace::frontmostApplication() const {
  return front_->current;
}

int32_t AtspiWorkspace::ownProcessID() const {
  return static_cast<int32_t>(getpid());
}

std::optional<RunningApplication> AtspiWorkspace::runningApplication(int32_t processID) const {
  if (!processIsRunning(processID)) return std::nullopt;
  if (processID == ownProcessID()) return RunningApplication{processID, ownApplicationID_};
  auto known = front_->applicationIDs.find(processID);
  return RunningApplication{processID,
                            known != front_->applicationIDs.end() ? known->second : std::nullopt};
}

bool AtspiWorkspace::activate(int32_t) {
  // The bus's one means, the frame's grab focus, is refused (a GTK 3 frame on KDE answers no),
  // and these compositors give focus only to a client holding an activation token from the
  // focused one: a request here would never be honoured.
  return false;
}

Subscription AtspiWorkspace::onActivation(ApplicationHandler handler) {
  return front_->activations.add(std::move(handler));
}

Subscription AtspiWorkspace::onDeactivation(ApplicationHandler handler) {
  return front_->deactivations.add(std::move(handler));
}

bool AtspiWorkspace::openURL(const std::string& url) {
  return openWithXdgOpen(url);
}

std::optional<uint32_t> AtspiWorkspace::lastActiveFrame(int32_t processID) const {
  auto known = front_->lastFrame.find(processID);
  if (known == front_->lastFrame.end()) return std::nullopt;
  return known->second;
}

}  // namespace wrenly
