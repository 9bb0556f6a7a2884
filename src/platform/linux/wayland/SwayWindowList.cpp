#include "platform/linux/wayland/SwayWindowList.h"

#include "platform/linux/wayland/SwayIpc.h"

namespace wrenly {

namespace json = boost::json;

std::unique_ptr<SwayWindowList> SwayWindowList::open(const std::string& socketPath) {
  auto requests = swayipc::connect(socketPath);
  if (!requests) return nullptr;
  return std::unique_ptr<SwayWindowList>(new SwayWindowList(std::move(*requests)));
}

std::optional<uint32_t> SwayWindowList::frontNormalWindow(int32_t processID) const {
  auto reply = swayipc::request(requests_.get(), swayipc::Type::getTree, "");
  auto root = reply ? swayipc::parse(*reply) : std::nullopt;
  if (!root) return std::nullopt;
  // Tiled windows on a shown workspace; floating ones sit in "floating_nodes" as
  // "floating_con" and do not count. The focused window is in front of the others.
  auto shownTiled = [&](const json::object& node) {
    const json::value* type = node.if_contains("type");
    const json::value* visible = node.if_contains("visible");
    return swayipc::hasProcess(node, processID) && type && type->is_string() &&
           type->as_string() == "con" && visible && visible->is_bool() && visible->as_bool();
  };
  const json::object* window = swayipc::findNode(*root, [&](const json::object& node) {
    return shownTiled(node) && swayipc::isFocused(node);
  });
  if (!window) window = swayipc::findNode(*root, shownTiled);
  const json::value* id = window ? window->if_contains("id") : nullptr;
  if (!id || !id->is_int64()) return std::nullopt;
  return static_cast<uint32_t>(id->as_int64());
}

}  // namespace wrenly
