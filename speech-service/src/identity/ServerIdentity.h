#pragma once

#include <filesystem>
#include <string>

#include "StartupError.h"

namespace wrenly::speech {

// The TLS identity of the local service: its own certificate authority (which clients on this
// machine trust, from authorityFile; name-constrained to localhost, 127.0.0.0/8 and ::1) and a
// server certificate for localhost and 127.0.0.1 signed by it. Both keys are EC P-256.
struct ServerIdentity {
  std::string certificateChainPem;  // server certificate, then the authority
  std::string privateKeyPem;
  std::filesystem::path authorityFile;
};

// The file name of the authority certificate inside the data folder; clients read it there.
inline constexpr const char* authorityFileName = "authority.pem";

// A key and its certificate, as PEM.
struct IssuedCertificate {
  std::string certificatePem;
  std::string privateKeyPem;
};

// A new authority and a server certificate it signs for `hostName`, 127.0.0.1 and ::1: what a
// first start makes, kept in memory (the tests' loopback servers are made with it too).
struct IssuedIdentity {
  IssuedCertificate authority;
  IssuedCertificate server;
};
Expected<IssuedIdentity, StartupError> issueIdentity(const std::string& hostName);

// Loads the identity from `folder`, making the authority on first start and a new server
// certificate whenever the old one is missing, unreadable or within a month of expiring. Every
// file is written 0600.
Expected<ServerIdentity, StartupError> loadOrCreateIdentity(const std::filesystem::path& folder);

}  // namespace wrenly::speech
