// The pure checks of sign-in, apart from the exchange itself so they can be fuzzed alone.
#include <openssl/evp.h>

#include <algorithm>
#include <boost/url/parse.hpp>
#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/BrowserSignIn.h"
#include "service/ServiceEndpoint.h"
#include "service/TextTrimming.h"
#include "service/UrlText.h"

namespace wrenly {

std::string BrowserSignIn::urlSafeToken(const unsigned char (&bytes)[32]) {
  unsigned char encoded[48] = {};
  const int length = EVP_EncodeBlock(encoded, bytes, 32);
  std::string token;
  for (int i = 0; i < length; ++i) {
    const char c = static_cast<char>(encoded[i]);
    if (c == '+') {
      token.push_back('-');
    } else if (c == '/') {
      token.push_back('_');
    } else if (c != '=') {
      token.push_back(c);
    }
  }
  return token;
}

namespace {

// Host and port of an http or https address, the port written or the scheme's own.
std::optional<std::string> hostAndPort(std::string_view text) {
  if (!isUrlText(text)) return std::nullopt;
  auto parsed = boost::urls::parse_uri(text);
  if (!parsed || !parsed->has_authority() || parsed->has_userinfo()) return std::nullopt;
  const std::string_view scheme = parsed->scheme();
  if (scheme != "https" && scheme != "http") return std::nullopt;
  std::string host(parsed->encoded_host());
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string defaultPort = scheme == "https" ? "443" : "80";
  return host + ":" + (parsed->port().empty() ? defaultPort : std::string(parsed->port()));
}

}  // namespace

bool BrowserSignIn::isAuthorizationURL(const std::string& text, const std::string& serviceBaseURL,
                                       const std::optional<std::string>& localPages) {
  if (!isUrlText(text)) return false;
  auto parsed = boost::urls::parse_uri(text);
  if (!parsed) return false;
  // Compared exactly as written: no other page than Apple's is ever shown.
  if (parsed->scheme() == "https" && parsed->host_type() == boost::urls::host_type::name &&
      parsed->encoded_host() == authorizationHost) {
    return true;
  }
  // A service elsewhere could otherwise send the browser anywhere it likes. The local service
  // shows its page at its pages' address, or at the address the program calls, over plain HTTP
  // (a browser cannot know the service's own authority) or HTTPS.
  if (!isLoopbackServiceURL(serviceBaseURL)) return false;
  const auto page = hostAndPort(text);
  if (localPages) return page && page == hostAndPort(*localPages);
  return page && page == hostAndPort(trimWhitespaceAndNewlines(serviceBaseURL));
}

namespace {

// Percent-decodes one query key or value; a "+" stays a plus sign. The URL parser has already
// checked every escape.
std::string decodeQueryPart(std::string_view part) {
  std::string decoded;
  for (size_t i = 0; i < part.size(); ++i) {
    if (part[i] == '%' && i + 2 < part.size() &&
        std::isxdigit(static_cast<unsigned char>(part[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(part[i + 2]))) {
      decoded.push_back(
          static_cast<char>(std::stoi(std::string(part.substr(i + 1, 2)), nullptr, 16)));
      i += 2;
    } else {
      decoded.push_back(part[i]);
    }
  }
  return decoded;
}

struct QueryItem {
  std::string name;
  std::optional<std::string> value;
};

// The items of a query in order. Read here rather than through Boost.URL 1.81's parameter view,
// which miscounts an empty query followed by a fragment (and asserts on it).
std::vector<QueryItem> queryItems(std::string_view query) {
  std::vector<QueryItem> items;
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const std::string_view item = query.substr(start, end - start);
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) {
      items.push_back({decodeQueryPart(item), std::nullopt});
    } else {
      items.push_back(
          {decodeQueryPart(item.substr(0, equals)), decodeQueryPart(item.substr(equals + 1))});
    }
    start = end + 1;
  }
  return items;
}

}  // namespace

bool BrowserSignIn::isValidCallback(const std::string& url, const std::string& state) {
  if (!isUrlText(url)) return false;
  auto parsed = boost::urls::parse_uri(url);
  if (!parsed) return false;
  if (parsed->scheme() != callbackScheme) return false;
  if (parsed->encoded_host() != callbackHost) return false;
  if (!parsed->has_query()) return false;
  // Query values are compared as sent: a "+" is a plus sign here, not an encoded space.
  const auto items = queryItems(parsed->encoded_query());
  const auto named = [&](std::string_view name) {
    return std::find_if(items.begin(), items.end(),
                        [&](const QueryItem& item) { return item.name == name; });
  };
  const auto first = named("state");
  if (first == items.end() || first->value != state) return false;
  return named("error") == items.end();
}

}  // namespace wrenly
