#pragma once

#include <filesystem>
#include <string>

namespace wrenly {

// A certificate for loopback TLS servers in tests, made as the local speech service makes its
// own: an authority, and a server certificate it signs for the host name, 127.0.0.1 and ::1.
// `writeCertificate` saves the authority as PEM, which is what a client is told to trust.
struct TestCertificate {
  std::string certificatePem;  // the server's certificate, then the authority's
  std::string privateKeyPem;   // the server's key
  std::string authorityPem;

  static TestCertificate generate(const std::string& hostName = "localhost");
  void writeCertificate(const std::filesystem::path& file) const;
};

}  // namespace wrenly
