#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "server/SpeechServer.h"

namespace wrenly::speech {

// The command line:
//   wrenly-speech-service [--listen ADDRESS:PORT] [--data-dir FOLDER]
// --listen defaults to 127.0.0.1:47615; an IPv6 address is written in brackets ([::1]:47615).
struct ServiceOptions {
  ListenAddress listen;
  std::optional<std::filesystem::path> dataFolder;
  bool help = false;
};

// The options, or the message explaining what is wrong with them.
std::variant<ServiceOptions, std::string> parseOptions(const std::vector<std::string>& arguments);

inline constexpr const char* usage =
    "usage: wrenly-speech-service [--listen ADDRESS:PORT] [--data-dir FOLDER]\n"
    "  --listen    where to accept HTTPS and WSS connections (default 127.0.0.1:47615)\n"
    "  --data-dir  accounts, certificate authority and server certificate\n"
    "              (default $XDG_DATA_HOME/wrenly-speech-service)\n";

}  // namespace wrenly::speech
