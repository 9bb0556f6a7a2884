#include "support/TestCertificate.h"

#include <fstream>
#include <stdexcept>

#include "identity/ServerIdentity.h"

namespace wrenly {

TestCertificate TestCertificate::generate(const std::string& hostName) {
  auto issued = speech::issueIdentity(hostName);
  if (!issued) throw std::runtime_error("test certificate: " + issued.error().message);
  const auto& [authority, server] = issued.value();
  return {server.certificatePem + authority.certificatePem, server.privateKeyPem,
          authority.certificatePem};
}

void TestCertificate::writeCertificate(const std::filesystem::path& file) const {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << authorityPem;
  if (!out) throw std::runtime_error("test certificate: cannot write " + file.string());
}

}  // namespace wrenly
