#include "service/HttpTransport.h"

#include <curl/curl.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "service/BackgroundCall.h"
#include "service/ServiceEndpoint.h"
#include "service/TransportError.h"

namespace wrenly {

namespace {

// A reply larger than this is not one the service sends; stop reading instead of filling memory.
constexpr size_t maximumReplyBytes = 32u << 20;

void initialiseLibraryOnce() {
  static const bool ready = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
  if (!ready) throw TransportError(CURLE_FAILED_INIT);
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CertificateDeleter {
  void operator()(X509* certificate) const { X509_free(certificate); }
};
using Certificate = std::unique_ptr<X509, CertificateDeleter>;

// The certificates of a PEM file, read for one exchange. An unreadable or empty file is a TLS
// set-up failure: trusting less than asked must not look like a server problem.
std::vector<Certificate> readCertificates(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  if (!in) throw TransportError(CURLE_SSL_CACERT_BADFILE);
  std::string pem = text.str();
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(
      BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), &BIO_free);
  std::vector<Certificate> certificates;
  while (X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) {
    certificates.emplace_back(certificate);
  }
  if (certificates.empty()) throw TransportError(CURLE_SSL_CACERT_BADFILE);
  return certificates;
}

// The system's trusted certificates, parsed once for the process: reading and parsing the bundle
// for every call cost about 40 ms of CPU each. The set is never changed after it is made.
const std::vector<Certificate>& systemCertificates() {
  static const std::vector<Certificate> certificates = [] {
    std::vector<Certificate> loaded;
    const char* file = std::getenv(X509_get_default_cert_file_env());
    if (!file || !*file) file = X509_get_default_cert_file();
    std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store(X509_STORE_new(),
                                                                  &X509_STORE_free);
    if (!store || X509_STORE_load_file(store.get(), file) != 1) return loaded;
    STACK_OF(X509_OBJECT)* objects = X509_STORE_get0_objects(store.get());
    for (int i = 0; i < sk_X509_OBJECT_num(objects); ++i) {
      X509* certificate = X509_OBJECT_get0_X509(sk_X509_OBJECT_value(objects, i));
      if (certificate && X509_up_ref(certificate) == 1) loaded.emplace_back(certificate);
    }
    return loaded;
  }();
  return certificates;
}

// What one exchange trusts: the system's certificates (unless left out) and the extra ones it
// was given.
struct TrustStore {
  std::unique_ptr<X509_STORE, decltype(&X509_STORE_free)> store{X509_STORE_new(), &X509_STORE_free};
};

TrustStore makeTrustStore(const std::vector<Certificate>& extra, bool withSystem) {
  static const std::vector<Certificate> none;
  TrustStore trust;
  if (!trust.store) throw TransportError(CURLE_OUT_OF_MEMORY);
  for (const auto* set : {withSystem ? &systemCertificates() : &none, &extra}) {
    for (const auto& certificate : *set) {
      if (X509_STORE_add_cert(trust.store.get(), certificate.get()) != 1) {
        throw TransportError(CURLE_SSL_CACERT_BADFILE);
      }
    }
  }
  return trust;
}

// Hands the exchange's trust store to the TLS context in place of the library's own loading.
CURLcode installTrust(CURL*, void* sslContext, void* userData) {
  auto* trust = static_cast<TrustStore*>(userData);
  SSL_CTX_set1_cert_store(static_cast<SSL_CTX*>(sslContext), trust->store.get());
  return CURLE_OK;
}

size_t appendReply(char* data, size_t size, size_t count, void* userData) {
  auto* reply = static_cast<std::string*>(userData);
  size_t bytes = size * count;
  if (reply->size() + bytes > maximumReplyBytes) return 0;  // aborts with a write error
  reply->append(data, bytes);
  return bytes;
}

void set(CURL* easy, CURLoption option, auto value) {
  if (curl_easy_setopt(easy, option, value) != CURLE_OK) throw TransportError(CURLE_FAILED_INIT);
}

}  // namespace

// Registers a transfer's multi handle with its control for the duration of the transfer.
class ActiveTransfer {
 public:
  ActiveTransfer(TransferControl& control, CURLM* multi) : control_(control) {
    std::lock_guard lock(control_.mutex_);
    control_.multi_ = multi;
  }
  ~ActiveTransfer() {
    std::lock_guard lock(control_.mutex_);
    control_.multi_ = nullptr;
  }

 private:
  TransferControl& control_;
};

void TransferControl::cancel() {
  cancelled_.store(true);
  std::lock_guard lock(mutex_);
  if (multi_) curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

HttpResponse performHttpRequest(const HttpRequest& request, TransferControl& control) {
  initialiseLibraryOnce();
  std::vector<Certificate> extraTrust;
  if (request.extraTrustFile) extraTrust = readCertificates(*request.extraTrustFile);

  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!easy || !multi) throw TransportError(CURLE_FAILED_INIT);

  std::unique_ptr<curl_slist, ListDeleter> headers;
  auto appendHeader = [&](const std::string& line) {
    curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
    if (!grown) throw TransportError(CURLE_OUT_OF_MEMORY);
    headers.release();
    headers.reset(grown);
  };
  for (const auto& header : request.headers) appendHeader(header);
  // Large bodies would otherwise wait for a "100 Continue" first.
  appendHeader("Expect:");

  HttpResponse response;
  CURL* e = easy.get();
  set(e, CURLOPT_URL, request.url.c_str());
  if (request.unixSocket) set(e, CURLOPT_UNIX_SOCKET_PATH, request.unixSocket->c_str());
  set(e, CURLOPT_PROTOCOLS_STR, "https");
  set(e, CURLOPT_NOSIGNAL, 1L);
  set(e, CURLOPT_FOLLOWLOCATION, 0L);  // the token must never travel to another host
  set(e, CURLOPT_FORBID_REUSE, 1L);
  set(e, CURLOPT_FRESH_CONNECT, 1L);
  set(e, CURLOPT_SSL_VERIFYPEER, 1L);
  set(e, CURLOPT_SSL_VERIFYHOST, 2L);
  set(e, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutSeconds * 1000));
  set(e, CURLOPT_HTTPHEADER, headers.get());
  set(e, CURLOPT_WRITEFUNCTION, &appendReply);
  set(e, CURLOPT_WRITEDATA, &response.body);
  // The library would read the system bundle again for every call; the parsed copy goes in
  // through the context callback instead.
  TrustStore trust = makeTrustStore(extraTrust, request.trustSystemAuthorities);
  set(e, CURLOPT_CAINFO, static_cast<const char*>(nullptr));
  set(e, CURLOPT_CAPATH, static_cast<const char*>(nullptr));
  set(e, CURLOPT_SSL_CTX_FUNCTION, &installTrust);
  set(e, CURLOPT_SSL_CTX_DATA, &trust);
  if (request.method == "GET") {
    set(e, CURLOPT_HTTPGET, 1L);
  } else if (request.method == "POST") {
    set(e, CURLOPT_POST, 1L);
  } else {
    set(e, CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }
  if (request.body) {
    set(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body->size()));
    set(e, CURLOPT_POSTFIELDS, request.body->data());  // not copied: the body outlives the call
  } else if (request.method == "POST") {
    set(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t{0});
    set(e, CURLOPT_POSTFIELDS, "");
  }

  if (curl_multi_add_handle(multi.get(), e) != CURLM_OK) throw TransportError(CURLE_FAILED_INIT);
  CURLcode result = CURLE_OK;
  {
    ActiveTransfer active(control, multi.get());
    for (;;) {
      if (control.cancelled()) {
        result = CURLE_ABORTED_BY_CALLBACK;
        break;
      }
      int running = 0;
      if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
        result = CURLE_FAILED_INIT;
        break;
      }
      if (running == 0) {
        int queued = 0;
        result = CURLE_FAILED_INIT;
        while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
          if (message->msg == CURLMSG_DONE) result = message->data.result;
        }
        break;
      }
      // Woken early by data, by the library's own timers or by a cancellation.
      curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    }
  }
  curl_multi_remove_handle(multi.get(), e);
  if (result != CURLE_OK) {
    throw TransportError(result, isLoopbackServiceURL(request.url) ? ServicePlace::thisMachine
                                                                   : ServicePlace::remote);
  }

  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

asio::awaitable<HttpResponse> sendHttpRequest(asio::any_io_executor background,
                                              std::shared_ptr<const HttpRequest> request) {
  auto control = std::make_shared<TransferControl>();
  return runInBackground(
      std::move(background), [request, control] { return performHttpRequest(*request, *control); },
      [control] { control->cancel(); });
}

}  // namespace wrenly
