#include "ServiceOptions.h"

#include <algorithm>
#include <charconv>
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
    if (name != "--listen" && name != "--data-dir" && name != "--config" && !engineOption) {
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
    } else if (name == "--listen") {
      auto listen = parseListen(*value);
      if (!listen) return "--listen needs ADDRESS:PORT, for example 127.0.0.1:47615";
      options.listen = *listen;
    } else {
      if (value->empty()) return "--data-dir needs a folder";
      options.dataFolder = *value;
    }
  }
  return options;
}

}  // namespace wrenly::speech
