#pragma once

#include <filesystem>
#include <string>

namespace wrenly {

// A self-signed certificate for "localhost" and 127.0.0.1, generated in-process (EC P-256), for
// loopback TLS servers in tests. `writeCertificate` saves the certificate as PEM so a client can
// trust it through WRENLY_CA_FILE.
struct TestCertificate {
  std::string certificatePem;
  std::string privateKeyPem;

  static TestCertificate generate(const std::string& commonName = "localhost");
  void writeCertificate(const std::filesystem::path& file) const;
};

}  // namespace wrenly
