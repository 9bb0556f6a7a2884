#pragma once

#include <boost/asio/local/stream_protocol.hpp>
#include <boost/asio/read.hpp>
#include <boost/json/value.hpp>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Asio.h"
#include "platform/linux/wayland/UniqueFd.h"

namespace wrenly {

// The framing of sway's IPC socket: a magic string, the payload's length and the message type
// (native byte order), then the JSON payload.
namespace swayipc {

enum class Type : uint32_t {
  runCommand = 0,
  subscribe = 2,
  getTree = 4,
  windowEvent = 0x80000003,
  bindingEvent = 0x80000005,
};

inline constexpr std::string_view magic = "i3-ipc";
inline constexpr size_t headerSize = magic.size() + 8;

// None when nothing listens at `path`.
std::optional<UniqueFd> connect(const std::string& path);
std::string frame(Type type, std::string_view payload);
// The payload's length when `header` is a valid header.
std::optional<uint32_t> payloadSize(std::string_view header);
// Sends one message and waits for its reply (sway answers within milliseconds); none when the
// socket failed or sway did not answer in time.
std::optional<std::string> request(int socket, Type type, std::string_view payload);

std::optional<boost::json::value> parse(const std::string& text);

// The message type a valid header names.
inline uint32_t typeOf(std::string_view header) {
  uint32_t type = 0;
  std::memcpy(&type, header.data() + magic.size() + 4, sizeof type);
  return type;
}

// A connection subscribed to events, with its read buffers; pending reads keep it alive, so its
// owner may go at any time (it clears `owner` and closes the socket).
template <typename Owner>
struct EventConnection {
  explicit EventConnection(asio::any_io_executor mainLoop) : socket(std::move(mainLoop)) {}
  asio::local::stream_protocol::socket socket;
  std::string header = std::string(headerSize, '\0');
  std::string payload;
  Owner* owner = nullptr;
};

// Reads the event connection `events->socket` one message after another, calling
// `handle(*events)` for each while `events->owner` is set. `Events` holds the socket, the
// `header` and `payload` buffers and the `owner`; the reads keep it alive, so the owner may go at
// any time (it clears `owner` and closes the socket).
template <typename Events, typename Handle>
void readEvents(std::shared_ptr<Events> events, Handle handle) {
  boost::asio::async_read(events->socket, boost::asio::buffer(events->header),
                          [events, handle](boost::system::error_code error, size_t) {
                            auto size = error ? std::nullopt : payloadSize(events->header);
                            if (!size || !events->owner) return;
                            events->payload.assign(*size, '\0');
                            boost::asio::async_read(
                                events->socket, boost::asio::buffer(events->payload),
                                [events, handle](boost::system::error_code payloadError, size_t) {
                                  if (payloadError || !events->owner) return;
                                  handle(*events);
                                  if (events->owner) readEvents(events, handle);
                                });
                          });
}

// The first node of a tree from get_tree, depth first (tiled before floating), that `match`
// accepts.
const boost::json::object* findNode(const boost::json::value& node,
                                    const std::function<bool(const boost::json::object&)>& match);
bool hasProcess(const boost::json::object& node, int32_t processID);
bool isFocused(const boost::json::object& node);

}  // namespace swayipc
}  // namespace wrenly
