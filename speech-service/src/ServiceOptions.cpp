#include "ServiceOptions.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <iterator>

namespace wrenly::speech {

namespace {

std::optional<ListenAddress> parseListen(const std::string& text) {
  std::string address;
  std::string port;
  if (text.starts_with('[')) {
    const size_t close = text.find("]:");
    if (close == std::string::npos) return std::nullopt;
    address = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || text.find(':') != colon) return std::nullopt;
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  unsigned value = 0;
  auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
  if (address.empty() || ec != std::errc() || end != port.data() + port.size() || value > 65535) {
    return std::nullopt;
  }
  return ListenAddress{address, static_cast<unsigned short>(value)};
}

template <typename Number>
std::optional<Number> numberOf(const std::string& text) {
  Number value{};
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || !(value > Number{})) {
    return std::nullopt;
  }
  return value;
}

std::chrono::milliseconds millisecondsOf(double seconds) {
  return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
}

constexpr std::string_view capNames[] = {"--max-connections",     "--max-connections-per-peer",
                                         "--max-anonymous-body",  "--max-audio-seconds",
                                         "--max-stream-seconds",  "--stream-grace-seconds",
                                         "--min-stream-rate",     "--decoders",
                                         "--max-pending-sign-ins"};

// Sets the cap `name` from `value`: none when `name` is no cap, else the error (or empty).
std::optional<std::string> setCap(ServiceOptions& options, const std::string& name,
                                  const std::string& value) {
  auto whole = numberOf<std::size_t>(value);
  auto seconds = numberOf<double>(value);
  const std::string wrong = name + " needs a number above zero";
  auto& server = options.server;
  if (name == "--max-connections") {
    if (!whole) return wrong;
    server.maximumConnections = *whole;
  } else if (name == "--max-connections-per-peer") {
    if (!whole) return wrong;
    server.maximumConnectionsPerPeer = *whole;
  } else if (name == "--max-anonymous-body") {
    if (!whole) return wrong;
    server.maximumAnonymousBodyBytes = *whole;
  } else if (name == "--max-audio-seconds") {
    if (!whole) return wrong;
    options.limits.maximumAudioSeconds = *whole;
  } else if (name == "--max-stream-seconds") {
    if (!seconds) return wrong;
    server.maximumStreamDuration = millisecondsOf(*seconds);
  } else if (name == "--stream-grace-seconds") {
    if (!seconds) return wrong;
    server.streamGrace = millisecondsOf(*seconds);
  } else if (name == "--min-stream-rate") {
    if (!whole) return wrong;
    server.minimumStreamBytesPerSecond = *whole;
  } else if (name == "--decoders") {
    if (!whole || *whole > 64) return wrong;
    options.decoders = static_cast<int>(*whole);
    server.recognitionThreads = options.decoders;
  } else if (name == "--max-pending-sign-ins") {
    if (!whole) return wrong;
    options.limits.maximumPendingSignIns = static_cast<std::int64_t>(*whole);
  } else {
    return std::nullopt;
  }
  return std::string();
}

}  // namespace

std::variant<ServiceOptions, std::string> parseOptions(const std::vector<std::string>& arguments) {
  ServiceOptions options;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      options.help = true;
      continue;
    }
    std::string name = argument;
    std::optional<std::string> value;
    if (const size_t equals = argument.find('='); equals != std::string::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
    }
    static constexpr std::string_view engineOptions[] = {"--engine", "--endpoint-url",
                                                         "--endpoint-model", "--endpoint-key-file"};
    const bool engineOption = std::find(std::begin(engineOptions), std::end(engineOptions), name) !=
                              std::end(engineOptions);
    const bool cap = std::ranges::find(capNames, name) != std::end(capNames);
    if (name != "--listen" && name != "--data-dir" && name != "--config" && !engineOption && !cap) {
      return "unknown option " + name;
    }
    if (!value) {
      if (i + 1 == arguments.size()) return name + " needs a value";
      value = arguments[++i];
    }
    if (engineOption) {
      // --endpoint-url becomes the setting endpoint_url, and so on.
      std::string key = name.substr(2);
      std::replace(key.begin(), key.end(), '-', '_');
      options.engineSettings.emplace_back(std::move(key), *value);
    } else if (name == "--config") {
      if (value->empty()) return "--config needs a file";
      options.configFile = *value;
    } else if (cap) {
      if (auto capError = setCap(options, name, *value); !capError->empty()) return *capError;
    } else if (name == "--listen") {
      auto listen = parseListen(*value);
      if (!listen) return "--listen needs ADDRESS:PORT, for example 127.0.0.1:8443";
      options.listen = *listen;
    } else {
      if (value->empty()) return "--data-dir needs a folder";
      options.dataFolder = *value;
    }
  }
  return options;
}

}  // namespace wrenly::speech
