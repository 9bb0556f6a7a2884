#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "StartupError.h"
#include "engine/AudioSegmenter.h"
#include "text/VoiceLanguage.h"

namespace wrenly::speech {

enum class EngineKind { builtIn, endpoint };

// English, Mandarin and Cantonese: what a server is taken to recognise unless told.
std::vector<VoiceLanguage> everyLanguage();

// An OpenAI-compatible server: the transcription endpoint, or the chat one that rewrites a
// selection.
struct EndpointSettings {
  std::string baseURL{};  // up to the API's version folder, e.g. https://host/v1; no trailing slash
  std::string model{};
  std::string apiKey{};                              // sent as a bearer token; empty: none
  std::optional<std::filesystem::path> trustFile{};  // certificates trusted instead of the system's
  std::vector<VoiceLanguage> languages = everyLanguage();
  bool cantoneseAsYue = true;  // else Cantonese is asked for as "zh"
  std::string vocabulary{};    // sent as the prompt: names and terms the user says
  std::chrono::milliseconds connectTimeout{5000};
  std::chrono::milliseconds requestTimeout{60000};  // a whole exchange, upload included
  std::size_t largestReply = 1 << 20;
  int maximumTokens = 1024;       // of a rewritten text
  bool tidiesDictations = false;  // the chat server also punctuates dictations (`rewrite_tidy`)
};

struct EngineSettings {
  EngineKind kind = EngineKind::builtIn;
  EndpointSettings endpoint;
  SegmentLimits segments;
  std::optional<EndpointSettings> rewriter;  // none: spoken tasks follow the built-in rules
};

using SettingLines = std::vector<std::pair<std::string, std::string>>;

// $XDG_CONFIG_HOME/wrenly-speech-service/config, else ~/.config/wrenly-speech-service/config.
std::filesystem::path defaultConfigFile();

// `key = value` lines ('#' starts a comment line) of `text`, or the message naming the bad line.
std::variant<SettingLines, std::string> parseSettingLines(std::string_view text);

// The engine the service uses: the lines of `configFile` (when `required` is false a missing
// file means defaults), then `overrides` (the command line's) on top. A key is read from the
// file `endpoint_key_file` (`rewrite_key_file`) names, which must be the user's own and not
// readable by others, or from the environment variable `endpoint_key_variable`
// (`rewrite_key_variable`) names; its text is never logged.
Expected<EngineSettings, StartupError> loadEngineSettings(
    const std::filesystem::path& configFile, bool required, const SettingLines& overrides,
    const std::function<const char*(const char*)>& environment = &std::getenv);

// The engine's code for `language` ("" for automatic detection).
std::string engineLanguageCode(const EndpointSettings& settings, VoiceLanguage language);

// Whether `url`'s host is this machine (127.0.0.0/8, ::1, localhost).
bool isLoopbackURL(std::string_view url);

}  // namespace wrenly::speech
