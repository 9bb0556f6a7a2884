#pragma once

#include <string>
#include <string_view>

namespace wrenly {

// Where one streaming session connects: the "stream" socket under the service base URL.
struct StreamAddress {
  std::string
      url;  // wss://host[:port]/…/stream?requestID=…&language=…&cleanup=…[&vocabulary=…][&interim=1]
  std::string host;        // for name resolution and certificate checks (no IPv6 brackets)
  std::string port;        // "443" unless the base URL names one
  std::string hostHeader;  // host as written in the URL, with the port when one is given
  std::string target;      // path and query
  bool hostIsName = true;  // false for IP literals, which get no server name indication

  // Throws ServiceError::invalidURL when `base` is not an https URL with a host, and
  // StreamError::invalidResponse when no URL can be formed from its parts. `interim` asks the
  // service for the words so far while the audio arrives (a service that knows no such thing
  // ignores the parameter, and one that does sends them to no client that did not ask). A
  // vocabulary hint rides in the address, not in a message: a service that knows none ignores a
  // query item it does not read, where it would end the stream at a text message it does not
  // expect.
  static StreamAddress make(std::string_view base, std::string_view requestID,
                            std::string_view language, bool cleanup,
                            std::string_view vocabulary = {}, bool interim = false);
};

}  // namespace wrenly
