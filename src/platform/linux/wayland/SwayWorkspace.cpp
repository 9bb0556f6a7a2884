#include "platform/linux/wayland/SwayWorkspace.h"

#include <unistd.h>

#include <boost/asio/read.hpp>
#include <boost/json/value.hpp>
#include <cstring>
#include <fstream>

#include "base/ProcessState.h"
#include "platform/linux/wayland/SwayIpc.h"
#include "platform/linux/x11/XdgOpen.h"

namespace wrenly {

namespace json = boost::json;

struct SwayWorkspace::Events : swayipc::EventConnection<SwayWorkspace> {
  using EventConnection::EventConnection;
};

namespace {

// The window's application: app_id for native windows, the X class for XWayland ones.
std::optional<RunningApplication> applicationOf(const json::object& node) {
  const json::value* pid = node.if_contains("pid");
  if (!pid || !pid->is_int64() || pid->as_int64() <= 0) return std::nullopt;
  RunningApplication application{static_cast<int32_t>(pid->as_int64()), std::nullopt};
  if (const json::value* id = node.if_contains("app_id"); id && id->is_string()) {
    application.applicationID = std::string(id->as_string());
  } else if (const json::value* properties = node.if_contains("window_properties");
             properties && properties->is_object()) {
    if (const json::value* c = properties->as_object().if_contains("class"); c && c->is_string()) {
      application.applicationID = std::string(c->as_string());
    }
  }
  return application;
}

}  // namespace

std::unique_ptr<SwayWorkspace> SwayWorkspace::open(asio::any_io_executor mainLoop,
                                                   const std::string& socketPath,
                                                   std::optional<std::string> ownApplicationID) {
  auto requests = swayipc::connect(socketPath);
  auto events = swayipc::connect(socketPath);
  if (!requests || !events) return nullptr;
  auto reply = swayipc::request(events->get(), swayipc::Type::subscribe, R"(["window"])");
  auto subscribed = reply ? swayipc::parse(*reply) : std::nullopt;
  const json::value* success = subscribed && subscribed->is_object()
                                   ? subscribed->as_object().if_contains("success")
                                   : nullptr;
  if (!success || !success->is_bool() || !success->as_bool()) return nullptr;
  std::unique_ptr<SwayWorkspace> workspace(
      new SwayWorkspace(std::move(*requests), std::move(ownApplicationID)));
  workspace->events_ = std::make_shared<Events>(std::move(mainLoop));
  boost::system::error_code error;
  workspace->events_->socket.assign(asio::local::stream_protocol(), events->get(), error);
  if (error) return nullptr;
  events->release();  // the socket owns it now
  workspace->events_->owner = workspace.get();
  workspace->current_ = workspace->frontmostApplication();
  workspace->readEvent();
  return workspace;
}

SwayWorkspace::~SwayWorkspace() {
  if (!events_) return;
  events_->owner = nullptr;
  boost::system::error_code ignored;
  events_->socket.close(ignored);
}

std::optional<json::value> SwayWorkspace::tree() const {
  auto reply = swayipc::request(requests_.get(), swayipc::Type::getTree, "");
  return reply ? swayipc::parse(*reply) : std::nullopt;
}

std::optional<RunningApplication> SwayWorkspace::frontmostApplication() const {
  auto root = tree();
  if (!root) return std::nullopt;
  const json::object* focused = swayipc::findNode(*root, swayipc::isFocused);
  return focused ? applicationOf(*focused) : std::nullopt;
}

int32_t SwayWorkspace::ownProcessID() const {
  return static_cast<int32_t>(getpid());
}

std::optional<RunningApplication> SwayWorkspace::runningApplication(int32_t processID) const {
  if (!processIsRunning(processID)) return std::nullopt;
  if (processID == ownProcessID()) return RunningApplication{processID, ownApplicationID_};
  auto root = tree();
  const json::object* window =
      root ? swayipc::findNode(
                 *root,
                 [&](const json::object& node) { return swayipc::hasProcess(node, processID); })
           : nullptr;
  if (auto application = window ? applicationOf(*window) : std::nullopt) return application;
  return RunningApplication{processID, std::nullopt};
}

bool SwayWorkspace::activate(int32_t processID) {
  // sway's criteria take the process's windows; focus goes to the one it picks and shows its
  // workspace.
  auto reply = swayipc::request(requests_.get(), swayipc::Type::runCommand,
                                "[pid=" + std::to_string(processID) + "] focus");
  auto result = reply ? swayipc::parse(*reply) : std::nullopt;
  if (!result || !result->is_array() || result->as_array().empty()) return false;
  const json::value& first = result->as_array().front();
  const json::value* success =
      first.is_object() ? first.as_object().if_contains("success") : nullptr;
  return success && success->is_bool() && success->as_bool();
}

Subscription SwayWorkspace::onActivation(ApplicationHandler handler) {
  return activations_.add(std::move(handler));
}

Subscription SwayWorkspace::onDeactivation(ApplicationHandler handler) {
  return deactivations_.add(std::move(handler));
}

bool SwayWorkspace::openURL(const std::string& url) {
  return openWithXdgOpen(url);
}

void SwayWorkspace::readEvent() {
  swayipc::readEvents(events_, [](Events& events) { events.owner->handleEvent(); });
}

void SwayWorkspace::handleEvent() {
  if (swayipc::typeOf(events_->header) != static_cast<uint32_t>(swayipc::Type::windowEvent)) return;
  auto event = swayipc::parse(events_->payload);
  if (!event || !event->is_object()) return;
  const json::value* change = event->as_object().if_contains("change");
  const json::value* container = event->as_object().if_contains("container");
  if (change && change->is_string() && change->as_string() == "focus" && container &&
      container->is_object()) {
    focusChanged(applicationOf(container->as_object()));
  }
}

void SwayWorkspace::focusChanged(const std::optional<RunningApplication>& application) {
  // Focus moving between windows of one application is no switch.
  if (!application || (current_ && current_->processID == application->processID)) return;
  auto previous = std::exchange(current_, application);
  if (previous) deactivations_.call(*previous);
  activations_.call(*application);
}

}  // namespace wrenly
