#include "service/ServiceEndpoint.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <boost/url/parse.hpp>
#include <cstdlib>
#include <fstream>

#include "service/TextTrimming.h"
#include "service/UrlText.h"

namespace wrenly {

const std::string_view builtInServiceURL = WRENLY_DEFAULT_SERVICE_URL;

namespace {

// Whether `file` and the folders above it up to `top`, where they exist, belong to this user
// and nobody else can write them. Anyone who could would vouch for the local service (its
// authority) or stand in for it (its socket and pages).
bool isPrivateFile(const std::filesystem::path& file, mode_t kind,
                   const std::filesystem::path& top) {
  for (auto path = file;; path = path.parent_path()) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {  // made by the service when it first starts
      const mode_t expected = path == file ? kind : S_IFDIR;
      if ((info.st_mode & S_IFMT) != expected || info.st_uid != ::geteuid() ||
          (info.st_mode & 022) != 0) {
        return false;
      }
    }
    if (path == top || !path.has_relative_path()) return true;
  }
}

bool isPrivateAuthority(const std::filesystem::path& file) {
  return isPrivateFile(file, S_IFREG, file.parent_path());
}

// The user's runtime folder of the service, $XDG_RUNTIME_DIR/wrenly.
std::optional<std::filesystem::path> runtimeFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || *runtime != '/') return std::nullopt;
  return std::filesystem::path(runtime) / "wrenly";
}

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A registered name is only accepted as the unreserved characters of a URL (letters, digits,
// ".", "-", "_", "~") once its percent-escapes are decoded: anything else (an escaped slash, raw
// UTF-8 of an unconverted international name) would not name the same host for every reader.
bool isPlainHostName(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-' || c == '_' || c == '~';
    if (!ok) return false;
  }
  return true;
}

// The port as a plain decimal number, or none when it is above 65535. Leading zeros are
// allowed in a URL and are dropped, so every later reader sees the same port.
std::optional<std::string> portNumber(std::string_view digits) {
  digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.empty()) return "0";
  if (digits.size() > 5) return std::nullopt;
  unsigned long value = 0;
  for (char c : digits) value = value * 10 + static_cast<unsigned long>(c - '0');
  if (value > 65535) return std::nullopt;
  return std::string(digits);
}

}  // namespace

std::optional<std::string> canonicalServiceEndpoint(std::string_view text) {
  const auto trimmed = trimWhitespaceAndNewlines(text);
  if (!isUrlText(trimmed)) return std::nullopt;
  auto parsed = boost::urls::parse_uri(trimmed);
  if (!parsed) return std::nullopt;
  const auto& url = *parsed;

  if (lowerAscii(std::string(url.scheme())) != "https") return std::nullopt;
  if (!url.has_authority()) return std::nullopt;
  if (url.has_userinfo() || url.has_query() || url.has_fragment()) return std::nullopt;

  std::string host;
  switch (url.host_type()) {
    case boost::urls::host_type::name:
      host = url.host();
      if (!isPlainHostName(host)) return std::nullopt;
      break;
    case boost::urls::host_type::ipv4:
    case boost::urls::host_type::ipv6:
      host = std::string(url.encoded_host());
      break;
    default:
      return std::nullopt;
  }
  if (host.empty()) return std::nullopt;

  std::string path(url.encoded_path());
  if (path != "/wrenly/v1" && path != "/wrenly/v1/") return std::nullopt;

  std::string result = "https://" + lowerAscii(host);
  if (url.has_port() && !url.port().empty()) {
    // A number no socket can have is not an endpoint.
    const auto port = portNumber(url.port());
    if (!port) return std::nullopt;
    result += ":" + *port;
  }
  result += "/wrenly/v1/";
  return result;
}

bool isLoopbackServiceURL(std::string_view baseURL) {
  const auto trimmed = trimWhitespaceAndNewlines(baseURL);
  if (!isUrlText(trimmed)) return false;
  auto parsed = boost::urls::parse_uri(trimmed);
  if (!parsed) return false;
  switch (parsed->host_type()) {
    case boost::urls::host_type::name:
      return lowerAscii(std::string(parsed->encoded_host())) == "localhost";
    case boost::urls::host_type::ipv4:
      return parsed->host_ipv4_address().is_loopback();
    case boost::urls::host_type::ipv6:
      return parsed->host_ipv6_address().is_loopback();
    default:
      return false;
  }
}

std::filesystem::path localServiceAuthorityFile() {
  // The same rule as the service's own data folder.
  std::filesystem::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    data = xdg;
  } else {
    const char* home = std::getenv("HOME");
    data = std::filesystem::path(home && *home ? home : "/tmp") / ".local/share";
  }
  return data / "wrenly-speech-service" / "authority.pem";
}

std::optional<std::filesystem::path> localServiceSocket() {
  const auto folder = runtimeFolder();
  if (!folder) return std::nullopt;
  auto socket = *folder / "speech-service.sock";
  if (!isPrivateFile(socket, S_IFSOCK, folder->parent_path())) return std::nullopt;
  return socket;
}

std::optional<std::string> localServicePagesOrigin() {
  const auto folder = runtimeFolder();
  if (!folder) return std::nullopt;
  const auto file = *folder / "speech-service.pages";
  struct stat info {};
  if (::lstat(file.c_str(), &info) != 0 || (info.st_mode & 077) != 0 ||
      !isPrivateFile(file, S_IFREG, folder->parent_path())) {
    return std::nullopt;
  }
  std::ifstream in(file);
  std::string line;
  if (!std::getline(in, line) || line.size() > 64) return std::nullopt;
  // Only a loopback page over plain HTTP, written as the service writes it.
  auto parsed = boost::urls::parse_uri(line);
  if (!parsed || parsed->scheme() != "http" || !parsed->has_port() ||
      parsed->encoded_path() != "/" || parsed->has_query() || parsed->has_userinfo() ||
      !isLoopbackServiceURL(line)) {
    return std::nullopt;
  }
  return line.substr(0, line.size() - 1);
}

ServiceConfiguration ServiceConfiguration::fromEnvironment() {
  ServiceConfiguration configuration;
  const char* override = std::getenv("WRENLY_SERVICE_URL");
  configuration.baseURLText = override ? std::string(override) : std::string(builtInServiceURL);
  const bool local = isLoopbackServiceURL(configuration.baseURLText);
  configuration.trustSystemAuthorities = !local;
  if (const char* trust = std::getenv("WRENLY_CA_FILE"); trust && *trust) {
    configuration.extraTrustFile = std::filesystem::path(trust);
  } else if (local) {
    if (isPrivateAuthority(localServiceAuthorityFile())) {
      configuration.extraTrustFile = localServiceAuthorityFile();
    }
    configuration.localSocket = localServiceSocket();
  }
  return configuration;
}

}  // namespace wrenly
