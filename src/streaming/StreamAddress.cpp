#include "streaming/StreamAddress.h"

#include <boost/url/encode.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/rfc/unreserved_chars.hpp>
#include <boost/url/url.hpp>

#include "service/ServiceError.h"
#include "service/UrlText.h"
#include "streaming/StreamError.h"

namespace wrenly {

namespace urls = boost::urls;

StreamAddress StreamAddress::make(std::string_view base, std::string_view requestID,
                                  std::string_view language, bool cleanup,
                                  std::string_view vocabulary, bool interim) {
  if (!isUrlText(base)) throw ServiceError::invalidURL();
  auto parsed = urls::parse_uri(base);
  if (!parsed || parsed->scheme_id() != urls::scheme::https || !parsed->has_authority() ||
      parsed->encoded_host().empty()) {
    throw ServiceError::invalidURL();
  }
  urls::url url = *parsed;
  std::string path(url.encoded_path());
  if (!path.ends_with('/')) path += '/';
  path += "stream";
  url.set_encoded_path(path);
  url.set_scheme_id(urls::scheme::wss);
  url.remove_fragment();
  url.remove_query();
  url.params().append({"requestID", requestID});
  url.params().append({"language", language});
  url.params().append({"cleanup", cleanup ? "1" : "0"});
  // Everything but the unreserved characters escaped: a "+" would read as a space to many
  // servers.
  if (!vocabulary.empty()) {
    url.encoded_params().append({"vocabulary", urls::encode(vocabulary, urls::unreserved_chars)});
  }
  if (interim) url.params().append({"interim", "1"});

  StreamAddress address;
  address.url = std::string(url.buffer());
  address.host = url.host_address();
  address.port = url.has_port() ? std::string(url.port()) : "443";
  address.hostHeader = std::string(url.encoded_host_and_port());
  address.target = std::string(url.encoded_path()) + "?" + std::string(url.encoded_query());
  address.hostIsName = url.host_type() == urls::host_type::name;
  if (address.host.empty() || address.port.empty()) {
    throw StreamError::invalidResponse();
  }
  return address;
}

}  // namespace wrenly
