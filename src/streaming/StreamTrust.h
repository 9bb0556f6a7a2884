#pragma once

#include <filesystem>
#include <optional>

namespace wrenly {

// Which certificates a streaming connection trusts: the system store (unless left out), plus
// one extra PEM file of authorities (a private deployment, the local service's own, or a test's
// own certificate); and, for the local service, the Unix socket it is reached through.
struct StreamTrust {
  std::optional<std::filesystem::path> extraAuthorities;
  bool systemAuthorities = true;
  // Connect here instead of to the URL's host and port, which still name the certificate.
  std::optional<std::filesystem::path> localSocket{};

  // The extra file named by WRENLY_CA_FILE, when set and not empty.
  static StreamTrust fromEnvironment();
};

}  // namespace wrenly
