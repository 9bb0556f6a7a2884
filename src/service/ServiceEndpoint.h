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
  // The local service's own socket, which answers this user alone: set when the base URL names
  // this machine and no other authority is named. Calls go there instead of to the URL's port,
  // so the address an earlier version stored keeps meaning "my local service".
  std::optional<std::filesystem::path> localSocket{};
  // Whether the system's authorities vouch too. Never for a service on this machine: only its
  // own authority (or the file named) may, so another user's service cannot pass for it.
  bool trustSystemAuthorities = true;

  static ServiceConfiguration fromEnvironment();
};

// Whether `baseURL` names this machine (localhost, 127.0.0.0/8 or [::1]): the local service.
bool isLoopbackServiceURL(std::string_view baseURL);

// The certificate authority the local service makes on first start, where it writes it:
// $XDG_DATA_HOME/wrenly-speech-service/authority.pem, else under ~/.local/share.
std::filesystem::path localServiceAuthorityFile();

// Where the local service of this user listens: $XDG_RUNTIME_DIR/wrenly/speech-service.sock.
// None without that variable, or when that folder (where it exists) belongs to another user or
// others may write it.
std::optional<std::filesystem::path> localServiceSocket();

// The origin of the local service's pages ("http://127.0.0.1:PORT"), from the file it writes
// beside its socket when it starts; none until then, or when the file is not this user's own.
std::optional<std::string> localServicePagesOrigin();

// The base URL built into the program.
extern const std::string_view builtInServiceURL;

}  // namespace wrenly
