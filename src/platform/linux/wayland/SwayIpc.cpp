#include "platform/linux/wayland/SwayIpc.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <boost/json/parse.hpp>
#include <cerrno>
#include <cstring>

namespace wrenly::swayipc {

namespace json = boost::json;

namespace {

constexpr int answerWaitMs = 1000;

bool transfer(int socket, char* data, size_t size, bool sending) {
  size_t done = 0;
  while (done < size) {
    pollfd watched{socket, static_cast<short>(sending ? POLLOUT : POLLIN), 0};
    const int ready = ::poll(&watched, 1, answerWaitMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    const ssize_t moved = sending ? ::send(socket, data + done, size - done, MSG_NOSIGNAL)
                                  : ::recv(socket, data + done, size - done, 0);
    if (moved == 0) return false;
    if (moved < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    done += static_cast<size_t>(moved);
  }
  return true;
}

}  // namespace

std::optional<UniqueFd> connect(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, path.data(), path.size());
  UniqueFd socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket ||
      ::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return std::nullopt;
  }
  return socket;
}

std::string frame(Type type, std::string_view payload) {
  std::string message(magic);
  const auto size = static_cast<uint32_t>(payload.size());
  const auto code = static_cast<uint32_t>(type);
  message.append(reinterpret_cast<const char*>(&size), sizeof size);
  message.append(reinterpret_cast<const char*>(&code), sizeof code);
  message.append(payload);
  return message;
}

std::optional<uint32_t> payloadSize(std::string_view header) {
  if (header.size() != headerSize || !header.starts_with(magic)) return std::nullopt;
  uint32_t size = 0;
  std::memcpy(&size, header.data() + magic.size(), sizeof size);
  return size;
}

std::optional<std::string> request(int socket, Type type, std::string_view payload) {
  std::string message = frame(type, payload);
  if (!transfer(socket, message.data(), message.size(), true)) return std::nullopt;
  std::string header(headerSize, '\0');
  if (!transfer(socket, header.data(), header.size(), false)) return std::nullopt;
  auto size = payloadSize(header);
  if (!size) return std::nullopt;
  std::string reply(*size, '\0');
  if (!transfer(socket, reply.data(), reply.size(), false)) return std::nullopt;
  return reply;
}

std::optional<json::value> parse(const std::string& text) {
  json::parse_options options;
  options.max_depth = 512;  // containers nest: a window may sit a dozen splits deep
  boost::system::error_code error;
  json::value value = json::parse(text, error, {}, options);
  if (error) return std::nullopt;
  return value;
}

const json::object* findNode(const json::value& node,
                             const std::function<bool(const json::object&)>& match) {
  if (!node.is_object()) return nullptr;
  const json::object& object = node.as_object();
  if (match(object)) return &object;
  for (const char* children : {"nodes", "floating_nodes"}) {
    const json::value* list = object.if_contains(children);
    if (!list || !list->is_array()) continue;
    for (const json::value& child : list->as_array()) {
      if (const json::object* found = findNode(child, match)) return found;
    }
  }
  return nullptr;
}

bool hasProcess(const json::object& node, int32_t processID) {
  const json::value* pid = node.if_contains("pid");
  return pid && pid->is_int64() && pid->as_int64() == processID;
}

bool isFocused(const json::object& node) {
  const json::value* flag = node.if_contains("focused");
  return flag && flag->is_bool() && flag->as_bool();
}

}  // namespace wrenly::swayipc
