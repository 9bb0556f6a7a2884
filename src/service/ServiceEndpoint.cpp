#include "service/ServiceEndpoint.h"

#include <boost/url/parse.hpp>
#include <cstdlib>

#include "service/TextTrimming.h"
#include "service/UrlText.h"

namespace wrenly {

const std::string_view builtInServiceURL = WRENLY_DEFAULT_SERVICE_URL;

namespace {

std::string lowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A registered name is only accepted as plain letters, digits, dots and hyphens once its
// percent-escapes are decoded: anything else (an escaped slash, raw UTF-8 of an unconverted
// international name) would not name the same host for every reader of the text.
bool isPlainHostName(std::string_view host) {
  if (host.empty()) return false;
  for (char c : host) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
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
    // Kept as written; a number no socket can have is not an endpoint.
    if (url.port().size() > 5 || std::stoul(std::string(url.port())) > 65535) return std::nullopt;
    result += ":" + std::string(url.port());
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

ServiceConfiguration ServiceConfiguration::fromEnvironment() {
  ServiceConfiguration configuration;
  const char* override = std::getenv("WRENLY_SERVICE_URL");
  configuration.baseURLText = override ? std::string(override) : std::string(builtInServiceURL);
  if (const char* trust = std::getenv("WRENLY_CA_FILE"); trust && *trust) {
    configuration.extraTrustFile = std::filesystem::path(trust);
  } else if (isLoopbackServiceURL(configuration.baseURLText)) {
    configuration.extraTrustFile = localServiceAuthorityFile();
  }
  return configuration;
}

}  // namespace wrenly
