#include "support/TestCertificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <stdexcept>

namespace wrenly {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

void check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("test certificate: ") + what);
}

std::string drain(BIO* bio) {
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  return std::string(data, static_cast<size_t>(size));
}

}  // namespace

TestCertificate TestCertificate::generate(const std::string& commonName) {
  KeyPtr key(EVP_EC_gen("P-256"));
  check(key != nullptr, "key");
  CertPtr cert(X509_new());
  check(cert != nullptr, "certificate");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7 * 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);

  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  const std::string san = "DNS:" + commonName + ",IP:127.0.0.1";
  for (auto [nid, value] : {std::pair{NID_subject_alt_name, san.c_str()},
                            std::pair{NID_basic_constraints, "critical,CA:TRUE"}}) {
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    check(ext != nullptr, "extension");
    X509_add_ext(cert.get(), ext.get(), -1);
  }
  check(X509_sign(cert.get(), key.get(), EVP_sha256()) > 0, "sign");

  TestCertificate result;
  BioPtr certBio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(certBio.get(), cert.get());
  result.certificatePem = drain(certBio.get());
  BioPtr keyBio(BIO_new(BIO_s_mem()));
  PEM_write_bio_PrivateKey(keyBio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr);
  result.privateKeyPem = drain(keyBio.get());
  return result;
}

void TestCertificate::writeCertificate(const std::filesystem::path& file) const {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << certificatePem;
  if (!out) throw std::runtime_error("test certificate: cannot write " + file.string());
}

}  // namespace wrenly
