#include "platform/linux/wayland/SwayBindingKeyMonitor.h"

#include <array>
#include <boost/asio/read.hpp>
#include <boost/json/value.hpp>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/linux/wayland/SwayIpc.h"

namespace wrenly {

namespace json = boost::json;

struct SwayBindingKeyMonitor::Events : swayipc::EventConnection<SwayBindingKeyMonitor> {
  using EventConnection::EventConnection;
};

namespace {

struct Bound {
  int code;  // X key code, as sway's bindcode takes it
  Key key;
  KeySide side;
  std::string_view name;
};

constexpr std::array<Bound, 8> bound{{
    {64, Key::alt, KeySide::left, "leftAlt"},
    {108, Key::alt, KeySide::right, "rightAlt"},
    {37, Key::control, KeySide::left, "leftControl"},
    {105, Key::control, KeySide::right, "rightControl"},
    {50, Key::shift, KeySide::left, "leftShift"},
    {62, Key::shift, KeySide::right, "rightShift"},
    {133, Key::super, KeySide::left, "leftSuper"},
    {134, Key::super, KeySide::right, "rightSuper"},
}};

// The command a binding runs: a no-op that names the key, so that sway's event tells which.
std::string commandOf(const Bound& binding) {
  return "nop wrenly-trigger-" + std::string(binding.name);
}

// A release binding only: one that fires at the press would take the key from the applications.
std::string releaseBinding(std::string_view verb, const Bound& binding) {
  return std::string(verb) + " --release " + std::to_string(binding.code);
}

bool succeeded(const std::optional<std::string>& reply) {
  auto result = reply ? swayipc::parse(*reply) : std::nullopt;
  if (!result || !result->is_array() || result->as_array().empty()) return false;
  const json::value& first = result->as_array().front();
  const json::value* success =
      first.is_object() ? first.as_object().if_contains("success") : nullptr;
  return success && success->is_bool() && success->as_bool();
}

}  // namespace

std::unique_ptr<SwayBindingKeyMonitor> SwayBindingKeyMonitor::open(asio::any_io_executor mainLoop,
                                                                   const std::string& socketPath,
                                                                   KeyMonitor* xwayland) {
  auto requests = swayipc::connect(socketPath);
  auto events = swayipc::connect(socketPath);
  if (!requests || !events) return nullptr;
  std::unique_ptr<SwayBindingKeyMonitor> monitor(
      new SwayBindingKeyMonitor(std::move(*requests), xwayland));
  auto reply = swayipc::request(events->get(), swayipc::Type::subscribe, R"(["binding"])");
  auto subscribed = reply ? swayipc::parse(*reply) : std::nullopt;
  const json::value* success = subscribed && subscribed->is_object()
                                   ? subscribed->as_object().if_contains("success")
                                   : nullptr;
  if (!success || !success->is_bool() || !success->as_bool()) return nullptr;
  monitor->events_ = std::make_shared<Events>(std::move(mainLoop));
  boost::system::error_code error;
  monitor->events_->socket.assign(asio::local::stream_protocol(), events->get(), error);
  if (error) return nullptr;
  events->release();  // the socket owns it now
  monitor->events_->owner = monitor.get();
  bool anyBound = false;
  for (const Bound& binding : bound) {
    anyBound |= monitor->run(releaseBinding("bindcode", binding) + " " + commandOf(binding));
  }
  if (!anyBound) return nullptr;
  monitor->readEvent();
  return monitor;
}

SwayBindingKeyMonitor::~SwayBindingKeyMonitor() {
  for (const Bound& binding : bound) run(releaseBinding("unbindcode", binding));
  if (!events_) return;
  events_->owner = nullptr;
  boost::system::error_code ignored;
  events_->socket.close(ignored);
}

Subscription SwayBindingKeyMonitor::monitor(Scope scope, Handler handler) {
  Subscription own = (scope == Scope::global ? global_ : local_).add(handler);
  Subscription fromX = xwayland_ ? xwayland_->monitor(scope, std::move(handler)) : Subscription();
  if (!fromX) return own;
  auto both =
      std::make_shared<std::pair<Subscription, Subscription>>(std::move(own), std::move(fromX));
  return Subscription([both] {
    both->first.reset();
    both->second.reset();
  });
}

bool SwayBindingKeyMonitor::xwaylandFocused() const {
  auto reply = swayipc::request(requests_.get(), swayipc::Type::getTree, "");
  auto root = reply ? swayipc::parse(*reply) : std::nullopt;
  const json::object* focused = root ? swayipc::findNode(*root, swayipc::isFocused) : nullptr;
  const json::value* shell = focused ? focused->if_contains("shell") : nullptr;
  return shell && shell->is_string() && shell->as_string() == "xwayland";
}

bool SwayBindingKeyMonitor::run(const std::string& command) {
  return succeeded(swayipc::request(requests_.get(), swayipc::Type::runCommand, command));
}

void SwayBindingKeyMonitor::readEvent() {
  swayipc::readEvents(events_, [](Events& events) { events.owner->handleEvent(); });
}

void SwayBindingKeyMonitor::handleEvent() {
  if (swayipc::typeOf(events_->header) != static_cast<uint32_t>(swayipc::Type::bindingEvent))
    return;
  auto event = swayipc::parse(events_->payload);
  const json::value* binding =
      event && event->is_object() ? event->as_object().if_contains("binding") : nullptr;
  const json::value* command =
      binding && binding->is_object() ? binding->as_object().if_contains("command") : nullptr;
  if (!command || !command->is_string() || (xwayland_ && xwaylandFocused())) return;
  for (const Bound& key : bound) {
    if (command->as_string() != commandOf(key)) continue;
    // sway ran the binding at the release of a key pressed alone: the whole tap at once.
    auto alive = events_;
    global_.call(KeyEvent{KeyEventType::modifierChanged, key.key, key.side,
                          ModifierState().hold(key.key, key.side)});
    if (!alive->owner) return;
    global_.call(KeyEvent{KeyEventType::modifierChanged, key.key, key.side, ModifierState()});
    return;
  }
}

}  // namespace wrenly
