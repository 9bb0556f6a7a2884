#include "engine/EngineSettings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <fstream>
#include <sstream>

namespace wrenly::speech {

namespace {

std::string_view trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

StartupError settingsError(std::string message) {
  return {StartupFailure::recogniser, std::move(message)};
}

std::optional<std::string> readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The key file must be a regular file of this user that nobody else can read or change.
Expected<std::string, StartupError> readKeyFile(const std::filesystem::path& file,
                                                const std::string& prefix) {
  struct stat status {};
  auto text =
      ::stat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode) ? readFile(file) : std::nullopt;
  if (!text) return settingsError(prefix + "key_file: cannot read " + file.string());
  if (status.st_uid != ::getuid() || (status.st_mode & 077) != 0) {
    return settingsError(prefix + "key_file: " + file.string() +
                         " must belong to this user with mode 0600");
  }
  return std::string(trimmed(*text));
}

std::optional<long> number(std::string_view text) {
  long value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

std::optional<std::vector<VoiceLanguage>> languagesOf(std::string_view list) {
  std::vector<VoiceLanguage> languages;
  while (!list.empty()) {
    const size_t comma = list.find(',');
    const auto language = VoiceLanguage::fromRaw(trimmed(list.substr(0, comma)));
    if (!language || *language == VoiceLanguage::automatic) return std::nullopt;
    languages.push_back(*language);
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  return languages;
}

// An endpoint's settings as read, before its key is fetched.
struct EndpointLines {
  EndpointSettings settings;
  std::string keyFile;
  std::string keyVariable;
  bool named = false;  // some setting of it was given
};

// Applies one setting; the message when its value is wrong.
std::optional<std::string> apply(EngineSettings& settings, EndpointLines& transcription,
                                 EndpointLines& rewriting, const std::string& key,
                                 const std::string& value) {
  const auto milliseconds = [&](std::chrono::milliseconds& into, long unit) {
    auto parsed = number(value);
    if (parsed) into = std::chrono::milliseconds(*parsed * unit);
    return parsed.has_value();
  };
  // endpoint_* keys are the transcription server's, rewrite_* ones the chat server's.
  const bool isRewrite = key.starts_with("rewrite_");
  EndpointLines& lines = isRewrite ? rewriting : transcription;
  auto& endpoint = lines.settings;
  const std::string own = isRewrite                      ? key.substr(8)
                          : key.starts_with("endpoint_") ? key.substr(9)
                                                         : std::string();
  lines.named = lines.named || !own.empty();
  bool good = true;
  if (key == "engine") {
    good = value == "built-in" || value == "endpoint";
    settings.kind = value == "endpoint" ? EngineKind::endpoint : EngineKind::builtIn;
  } else if (own == "url") {
    endpoint.baseURL = value;
    while (endpoint.baseURL.ends_with('/')) endpoint.baseURL.pop_back();
  } else if (own == "model") {
    endpoint.model = value;
  } else if (own == "key_file") {
    lines.keyFile = value;
  } else if (own == "key_variable") {
    lines.keyVariable = value;
  } else if (own == "trust_file") {
    endpoint.trustFile = value;
  } else if (own == "timeout_seconds") {
    good = milliseconds(endpoint.requestTimeout, 1000);
  } else if (key == "endpoint_languages") {
    auto languages = languagesOf(value);
    good = languages.has_value();
    if (good) endpoint.languages = *languages;
  } else if (key == "endpoint_cantonese") {
    good = value == "yue" || value == "zh";
    endpoint.cantoneseAsYue = value == "yue";
  } else if (key == "endpoint_vocabulary") {
    endpoint.vocabulary = value;
  } else if (key == "rewrite_tidy") {
    good = value == "yes" || value == "no";
    endpoint.tidiesDictations = value == "yes";
  } else if (key == "rewrite_max_tokens") {
    auto parsed = number(value);
    good = parsed && *parsed <= 16384;
    endpoint.maximumTokens = int(parsed.value_or(0));
  } else if (key == "segment_pause_ms") {
    std::chrono::milliseconds pause{};
    good = milliseconds(pause, 1) && pause.count() >= 200;
    settings.segments.pauseSamples = std::size_t(pause.count()) * 16;
  } else if (key == "segment_longest_seconds") {
    std::chrono::milliseconds longest{};
    good = milliseconds(longest, 1000) && longest.count() >= 5000;
    settings.segments.longestSamples = std::size_t(longest.count()) * 16;
  } else {
    return "unknown setting " + key;
  }
  if (!good) return "bad value for " + key;
  return std::nullopt;
}

// Checks the address and model of an endpoint and fetches its key; `prefix` names its settings.
std::optional<StartupError> complete(EndpointLines& lines, const std::string& prefix,
                                     const std::function<const char*(const char*)>& environment) {
  auto& endpoint = lines.settings;
  const bool https = endpoint.baseURL.starts_with("https://");
  if (!https && !endpoint.baseURL.starts_with("http://")) {
    return settingsError(prefix + "url must be an http:// or https:// address");
  }
  // Audio, text and key travel unencrypted over plain HTTP: only to this machine.
  if (!https && !isLoopbackURL(endpoint.baseURL)) {
    return settingsError(prefix + "url: plain http:// only for a server on this machine");
  }
  if (endpoint.model.empty()) return settingsError(prefix + "model is missing");
  if (!lines.keyFile.empty()) {
    auto key = readKeyFile(lines.keyFile, prefix);
    if (!key) return key.error();
    endpoint.apiKey = std::move(key.value());
  } else if (!lines.keyVariable.empty()) {
    const char* key = environment(lines.keyVariable.c_str());
    if (!key || !*key)
      return settingsError(prefix + "key_variable: " + lines.keyVariable + " is unset");
    endpoint.apiKey = trimmed(key);
  }
  return std::nullopt;
}

}  // namespace

std::vector<VoiceLanguage> everyLanguage() {
  std::vector<VoiceLanguage> languages;
  for (VoiceLanguage language : VoiceLanguage::allCases()) {
    if (language != VoiceLanguage::automatic) languages.push_back(language);
  }
  return languages;
}

std::filesystem::path defaultConfigFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (config && *config == '/') {
    base = config;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home ? home : "") / ".config";
  }
  return base / "wrenly-speech-service" / "config";
}

std::variant<SettingLines, std::string> parseSettingLines(std::string_view text) {
  SettingLines lines;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || trimmed(line.substr(0, equals)).empty()) {
      return "line " + std::to_string(number) + " is not key = value";
    }
    lines.emplace_back(trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1)));
  }
  return lines;
}

Expected<EngineSettings, StartupError> loadEngineSettings(
    const std::filesystem::path& configFile, bool required, const SettingLines& overrides,
    const std::function<const char*(const char*)>& environment) {
  SettingLines lines;
  if (auto text = readFile(configFile)) {
    auto parsed = parseSettingLines(*text);
    if (auto* message = std::get_if<std::string>(&parsed)) {
      return settingsError(configFile.string() + ": " + *message);
    }
    lines = std::move(std::get<SettingLines>(parsed));
  } else if (required) {
    return settingsError("cannot read " + configFile.string());
  }
  lines.insert(lines.end(), overrides.begin(), overrides.end());

  EngineSettings settings;
  EndpointLines transcription;
  EndpointLines rewriting;
  rewriting.settings.requestTimeout = std::chrono::seconds(30);
  for (const auto& [key, value] : lines) {
    if (auto message = apply(settings, transcription, rewriting, key, value)) {
      return settingsError(*message);
    }
  }
  if (settings.kind == EngineKind::endpoint) {
    if (auto error = complete(transcription, "endpoint_", environment)) return *error;
    settings.endpoint = std::move(transcription.settings);
  }
  if (rewriting.named) {
    if (auto error = complete(rewriting, "rewrite_", environment)) return *error;
    settings.rewriter = std::move(rewriting.settings);
  }
  return settings;
}

std::string engineLanguageCode(const EndpointSettings& settings, VoiceLanguage language) {
  switch (language) {
    case VoiceLanguage::english:
      return "en";
    case VoiceLanguage::mandarin:
      return "zh";
    case VoiceLanguage::cantonese:
      return settings.cantoneseAsYue ? "yue" : "zh";
    case VoiceLanguage::automatic:
      break;
  }
  return {};
}

bool isLoopbackURL(std::string_view url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return false;
  std::string_view authority = url.substr(scheme + 3);
  authority = authority.substr(0, authority.find_first_of("/?#"));
  if (authority.find('@') != std::string_view::npos) return false;
  std::string_view host;
  if (authority.starts_with('[')) {
    host = authority.substr(0, authority.find(']') + 1);
  } else {
    host = authority.substr(0, authority.find(':'));
  }
  if (host == "localhost" || host == "[::1]") return true;
  if (!host.starts_with("127.")) return false;
  int dots = 0;
  for (char c : host) {
    if (c == '.') {
      ++dots;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return dots == 3;
}

}  // namespace wrenly::speech
