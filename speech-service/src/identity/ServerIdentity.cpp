#include "identity/ServerIdentity.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "identity/DataFolder.h"

namespace wrenly::speech {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION, X509_EXTENSION_free>>;

constexpr long day = 24 * 3600;
constexpr long authorityLifetime = 3650 * day;
constexpr long serverLifetime = 397 * day;  // what browsers accept for a server certificate
constexpr int renewalMarginDays = 30;
// The authority vouches for this machine's loopback names only, whatever it is asked to sign.
constexpr const char* loopbackNamesOnly =
    "critical,permitted;DNS:localhost,permitted;IP:127.0.0.0/255.0.0.0,"
    "permitted;IP:::1/ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff";

std::string openSslMessage(const std::string& what) {
  unsigned long code = ERR_get_error();
  char text[256] = "unknown error";
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  return what + ": " + text;
}

std::optional<std::string> readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string pemOf(X509* cert) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

std::string pemOf(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(size));
}

CertPtr certificateFrom(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return CertPtr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

KeyPtr keyFrom(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return KeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

bool addExtensions(X509* cert, X509* issuer,
                   std::initializer_list<std::pair<int, const char*>> extensions) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  for (auto [nid, value] : extensions) {
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &ctx, nid, value));
    if (!ext || X509_add_ext(cert, ext.get(), -1) != 1) return false;
  }
  return true;
}

// A certificate for `key` named `commonName`, valid from an hour ago for `lifetime` seconds,
// with a random serial. Issuer and extensions are set by the caller.
CertPtr newCertificate(EVP_PKEY* key, const char* commonName, long lifetime) {
  CertPtr cert(X509_new());
  if (!cert) return nullptr;
  unsigned char serial[16];
  if (RAND_bytes(serial, sizeof serial) != 1) return nullptr;
  serial[0] &= 0x7f;
  std::unique_ptr<BIGNUM, Deleter<BIGNUM, BN_free>> number(
      BN_bin2bn(serial, sizeof serial, nullptr));
  X509_set_version(cert.get(), 2);
  BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(cert.get()));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), lifetime);
  X509_set_pubkey(cert.get(), key);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(cert.get()), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  return cert;
}

// A certificate and its key: the authority's or the server's.
struct CertifiedKey {
  CertPtr cert;
  KeyPtr key;
};

std::optional<CertifiedKey> loadAuthority(const std::filesystem::path& folder) {
  auto certPem = readFile(folder / authorityFileName);
  auto keyPem = readFile(folder / "authority-key.pem");
  if (!certPem || !keyPem) return std::nullopt;
  CertifiedKey authority{certificateFrom(*certPem), keyFrom(*keyPem)};
  if (!authority.cert || !authority.key ||
      X509_check_private_key(authority.cert.get(), authority.key.get()) != 1) {
    return std::nullopt;
  }
  // An authority made before it was held to loopback names is replaced: whoever took its key
  // could otherwise vouch for any site to this user's programs.
  if (X509_get_ext_by_NID(authority.cert.get(), NID_name_constraints, -1) < 0) return std::nullopt;
  return authority;
}

Expected<CertifiedKey, StartupError> newAuthority() {
  KeyPtr key(EVP_EC_gen("P-256"));
  if (!key) return StartupError{StartupFailure::certificates, openSslMessage("authority key")};
  CertPtr cert =
      newCertificate(key.get(), "Wrenly local speech service authority", authorityLifetime);
  if (!cert) return StartupError{StartupFailure::certificates, openSslMessage("authority")};
  X509_set_issuer_name(cert.get(), X509_get_subject_name(cert.get()));
  if (!addExtensions(cert.get(), cert.get(),
                     {{NID_basic_constraints, "critical,CA:TRUE,pathlen:0"},
                      {NID_key_usage, "critical,keyCertSign,cRLSign"},
                      {NID_name_constraints, loopbackNamesOnly},
                      {NID_subject_key_identifier, "hash"}}) ||
      X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) {
    return StartupError{StartupFailure::certificates, openSslMessage("authority")};
  }
  return CertifiedKey{std::move(cert), std::move(key)};
}

Expected<CertifiedKey, StartupError> createAuthority(const std::filesystem::path& folder) {
  auto made = newAuthority();
  if (!made) return made;
  // The key first: a certificate without its key would be useless on the next start.
  if (!writePrivateFile(folder / "authority-key.pem", pemOf(made->key.get())) ||
      !writePrivateFile(folder / authorityFileName, pemOf(made->cert.get()))) {
    return StartupError{StartupFailure::certificates, "cannot write the authority files"};
  }
  return made;
}

// The server's certificate, signed by `authority`, for `hostName` and the loopback addresses.
Expected<CertifiedKey, StartupError> newServerCertificate(const CertifiedKey& authority,
                                                          const std::string& hostName) {
  KeyPtr key(EVP_EC_gen("P-256"));
  if (!key) return StartupError{StartupFailure::certificates, openSslMessage("server key")};
  CertPtr cert = newCertificate(key.get(), hostName.c_str(), serverLifetime);
  if (!cert) return StartupError{StartupFailure::certificates, openSslMessage("server")};
  X509_set_issuer_name(cert.get(), X509_get_subject_name(authority.cert.get()));
  const std::string names = "DNS:" + hostName + ",IP:127.0.0.1,IP:::1";
  if (!addExtensions(cert.get(), authority.cert.get(),
                     {{NID_basic_constraints, "critical,CA:FALSE"},
                      {NID_key_usage, "critical,digitalSignature"},
                      {NID_ext_key_usage, "serverAuth"},
                      {NID_subject_alt_name, names.c_str()},
                      {NID_authority_key_identifier, "keyid:always"}}) ||
      X509_sign(cert.get(), authority.key.get(), EVP_sha256()) <= 0) {
    return StartupError{StartupFailure::certificates, openSslMessage("server")};
  }
  return CertifiedKey{std::move(cert), std::move(key)};
}

bool serverCertificateUsable(X509* cert, EVP_PKEY* key, const CertifiedKey& authority) {
  if (!cert || !key || X509_check_private_key(cert, key) != 1) return false;
  if (X509_verify(cert, authority.key.get()) != 1) return false;
  int days = 0;
  int seconds = 0;
  if (ASN1_TIME_diff(&days, &seconds, nullptr, X509_get0_notAfter(cert)) != 1) return false;
  return days > renewalMarginDays;
}

}  // namespace

Expected<IssuedIdentity, StartupError> issueIdentity(const std::string& hostName) {
  auto authority = newAuthority();
  if (!authority) return authority.error();
  auto server = newServerCertificate(*authority, hostName);
  if (!server) return server.error();
  return IssuedIdentity{{pemOf(authority->cert.get()), pemOf(authority->key.get())},
                        {pemOf(server->cert.get()), pemOf(server->key.get())}};
}

Expected<ServerIdentity, StartupError> loadOrCreateIdentity(const std::filesystem::path& folder) {
  std::optional<CertifiedKey> authority = loadAuthority(folder);
  if (!authority) {
    auto created = createAuthority(folder);
    if (!created) return created.error();
    authority = std::move(created.value());
  }
  const auto serverFile = folder / "server.pem";
  const auto serverKeyFile = folder / "server-key.pem";
  auto certPem = readFile(serverFile);
  auto keyPem = readFile(serverKeyFile);
  CertPtr cert = certPem ? certificateFrom(*certPem) : nullptr;
  KeyPtr key = keyPem ? keyFrom(*keyPem) : nullptr;
  if (!serverCertificateUsable(cert.get(), key.get(), *authority)) {
    auto made = newServerCertificate(*authority, "localhost");
    if (!made) return made.error();
    cert = std::move(made->cert);
    key = std::move(made->key);
    if (!writePrivateFile(serverKeyFile, pemOf(key.get())) ||
        !writePrivateFile(serverFile, pemOf(cert.get()))) {
      return StartupError{StartupFailure::certificates, "cannot write the server files"};
    }
  }
  return ServerIdentity{pemOf(cert.get()) + pemOf(authority->cert.get()), pemOf(key.get()),
                        folder / authorityFileName};
}

}  // namespace wrenly::speech
