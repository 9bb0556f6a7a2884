#pragma once

#include <filesystem>
#include <optional>

namespace wrenly {

// Which certificates a streaming connection trusts: the system store always, plus one extra
// PEM file of authorities (a private deployment, or a test's own certificate).
struct StreamTrust {
  std::optional<std::filesystem::path> extraAuthorities;

  // The extra file named by WRENLY_CA_FILE, when set and not empty.
  static StreamTrust fromEnvironment();
};

}  // namespace wrenly
