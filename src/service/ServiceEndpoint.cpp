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

ServiceConfiguration ServiceConfiguration::fromEnvironment() {
  ServiceConfiguration configuration;
  const char* override = std::getenv("WRENLY_SERVICE_URL");
  configuration.baseURLText = override ? std::string(override) : std::string(builtInServiceURL);
  if (const char* trust = std::getenv("WRENLY_CA_FILE"); trust && *trust) {
    configuration.extraTrustFile = std::filesystem::path(trust);
  }
  return configuration;
}

}  // namespace wrenly
