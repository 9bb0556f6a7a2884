// The pure checks of sign-in, apart from the exchange itself so they can be fuzzed alone.
#include <openssl/evp.h>

#include <boost/url/parse.hpp>

#include "service/MacAppleLogin.h"
#include "service/UrlText.h"

std::string MacAppleLogin::urlSafeToken(const unsigned char (&bytes)[32]) {
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

bool MacAppleLogin::isAuthorizationURL(const std::string& text) {
  if (!isUrlText(text)) return false;
  auto parsed = boost::urls::parse_uri(text);
  if (!parsed) return false;
  // Compared exactly as written: no other page than Apple's is ever shown.
  return parsed->scheme() == "https" && parsed->host_type() == boost::urls::host_type::name &&
         parsed->encoded_host() == authorizationHost;
}

bool MacAppleLogin::isValidCallback(const std::string& url, const std::string& state) {
  if (!isUrlText(url)) return false;
  auto parsed = boost::urls::parse_uri(url);
  if (!parsed) return false;
  if (parsed->scheme() != callbackScheme) return false;
  if (parsed->encoded_host() != callbackHost) return false;
  if (!parsed->has_query()) return false;
  // Query values are compared as sent: a "+" is a plus sign here, not an encoded space.
  auto params = parsed->params(boost::urls::encoding_opts(false));
  auto first = params.find("state");
  if (first == params.end() || !(*first).has_value || (*first).value != state) return false;
  return params.find("error") == params.end();
}
