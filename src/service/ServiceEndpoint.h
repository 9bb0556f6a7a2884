#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wrenly {

// The canonical service base URL for `text`: https://HOST[:PORT]/wrenly/v1/ with the host in
// lower case, or none when `text` is not an https URL of that shape.
std::optional<std::string> canonicalServiceEndpoint(std::string_view text);

// Where the client talks to and what it trusts, fixed for the life of the process.
struct ServiceConfiguration {
  // The base URL before canonicalisation: the built-in one, or WRENLY_SERVICE_URL when set
  // (an invalid value then means no endpoint, never the built-in one).
  std::string baseURLText;
  // A PEM file of extra certificates to trust besides the system store: WRENLY_CA_FILE
  // (development services and tests), else the local service's own authority when the base URL
  // names this machine, so a user's own service needs no set-up; but not when that file or its
  // folder belongs to another user or others may write it.
  std::optional<std::filesystem::path> extraTrustFile;

  static ServiceConfiguration fromEnvironment();
};

// Whether `baseURL` names this machine (localhost, 127.0.0.0/8 or [::1]): the local service.
bool isLoopbackServiceURL(std::string_view baseURL);

// The certificate authority the local service makes on first start, where it writes it:
// $XDG_DATA_HOME/wrenly-speech-service/authority.pem, else under ~/.local/share.
std::filesystem::path localServiceAuthorityFile();

// The base URL built into the program.
extern const std::string_view builtInServiceURL;

}  // namespace wrenly
