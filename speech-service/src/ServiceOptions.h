#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "api/SpeechApi.h"
#include "server/SpeechServer.h"

namespace wrenly::speech {

// The command line:
//   wrenly-speech-service [--listen ADDRESS:PORT] [--data-dir FOLDER] [--config FILE]
//                         [--engine built-in|endpoint] [--endpoint-url URL]
//                         [--endpoint-model NAME] [--endpoint-key-file FILE] [caps and limits]
// Without --listen the service serves its user alone, on $XDG_RUNTIME_DIR/wrenly's socket, and
// its pages on a free loopback port. --listen serves every user of the machine on one TCP port;
// an IPv6 address is written in brackets ([::1]:8443). The engine options are settings of the
// configuration file, given on top of it.
struct ServiceOptions {
  std::optional<ListenAddress> listen;
  std::optional<std::filesystem::path> dataFolder;
  std::optional<std::filesystem::path> configFile;
  std::vector<std::pair<std::string, std::string>> engineSettings;  // key, value
  bool help = false;
  // Caps and limits, each an option of its own (see `usage`); the load benchmark sets them small.
  // `server` carries its caps only: the listener and identity are set in main.
  ServerSetup server;
  ServiceLimits limits;
  int decoders = 3;
};

// The options, or the message explaining what is wrong with them.
std::variant<ServiceOptions, std::string> parseOptions(const std::vector<std::string>& arguments);

inline constexpr const char* usage =
    "usage: wrenly-speech-service [--listen ADDRESS:PORT] [--data-dir FOLDER] [--config FILE]\n"
    "                            [--engine built-in|endpoint] [--endpoint-url URL]\n"
    "                            [--endpoint-model NAME] [--endpoint-key-file FILE]\n"
    "  --listen    accept HTTPS and WSS connections of every user at this TCP address\n"
    "              (default: this user only, on $XDG_RUNTIME_DIR/wrenly/speech-service.sock,\n"
    "              the sign-in pages on a free loopback port)\n"
    "  --data-dir  accounts, certificate authority and server certificate\n"
    "              (default $XDG_DATA_HOME/wrenly-speech-service)\n"
    "  --config    engine settings (default $XDG_CONFIG_HOME/wrenly-speech-service/config)\n"
    "  --engine, --endpoint-url, --endpoint-model, --endpoint-key-file\n"
    "              the settings engine, endpoint_url, endpoint_model, endpoint_key_file\n"
    "caps and limits:\n"
    "  --max-connections N           connections at once (default 512, kept below the\n"
    "                                descriptor limit); the longest idle one makes room\n"
    "  --max-connections-per-peer N  connections from one address (default 128)\n"
    "  --max-anonymous-body BYTES    body without credentials or over HTTP (default 65536)\n"
    "  --max-audio-seconds N         audio of one stream or upload (default 200)\n"
    "  --max-stream-seconds S        duration of one stream (default 240)\n"
    "  --stream-grace-seconds S      before the minimum rate applies (default 10)\n"
    "  --min-stream-rate BYTES       audio per second a stream keeps up (default 8000)\n"
    "  --decoders N                  recognitions at once (default 3)\n"
    "  --max-pending-sign-ins N      sign-ins waiting for an answer (default 32)\n";

}  // namespace wrenly::speech
