#include "engine/EndpointHttp.h"

#include <curl/curl.h>

#include <memory>

namespace wrenly::speech {

namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct Transfer {
  std::string body;
  std::size_t largest = 0;
  bool oversized = false;
  const std::atomic<bool>* cancel = nullptr;
};

size_t appendReply(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  if (transfer.body.size() + size * count > transfer.largest) {
    transfer.oversized = true;
    return 0;  // ends the transfer
  }
  transfer.body.append(data, size * count);
  return size * count;
}

int checkCancel(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return static_cast<Transfer*>(user)->cancel->load() ? 1 : 0;
}

bool curlReady() {
  static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return ready;
}

}  // namespace

std::string_view faultName(EngineFault fault) {
  switch (fault) {
    case EngineFault::unreachable:
      return "unreachable";
    case EngineFault::timedOut:
      return "timed_out";
    case EngineFault::busy:
      return "busy";
    case EngineFault::refused:
      return "refused";
    case EngineFault::failed:
      return "failed";
    case EngineFault::malformedReply:
      return "malformed_reply";
    case EngineFault::oversizedReply:
      return "oversized_reply";
    case EngineFault::cancelled:
      break;
  }
  return "cancelled";
}

std::optional<EngineFault> faultOfStatus(long status) {
  if (status == 429 || status == 503) return EngineFault::busy;
  if (status == 408 || status == 504) return EngineFault::timedOut;
  if (status >= 400 && status < 500) return EngineFault::refused;
  if (status < 200 || status >= 300) return EngineFault::failed;
  return std::nullopt;
}

std::variant<std::string, EngineFault> postToEndpoint(const EndpointSettings& settings,
                                                      std::string_view path,
                                                      std::string_view contentType,
                                                      const std::function<void(CURL*)>& setBody,
                                                      const std::atomic<bool>& cancel) {
  std::unique_ptr<CURL, EasyDeleter> easy(curlReady() ? curl_easy_init() : nullptr);
  if (!easy) return EngineFault::failed;
  CURL* e = easy.get();
  const std::string url = settings.baseURL + "/" + std::string(path);
  // A server that waits for "100 Continue" would cost a round trip per request.
  std::unique_ptr<curl_slist, ListDeleter> headers(curl_slist_append(nullptr, "Expect:"));
  if (!contentType.empty()) {
    const std::string line = "Content-Type: " + std::string(contentType);
    headers.reset(curl_slist_append(headers.release(), line.c_str()));
  }
  if (!settings.apiKey.empty()) {
    const std::string authorization = "Authorization: Bearer " + settings.apiKey;
    headers.reset(curl_slist_append(headers.release(), authorization.c_str()));
  }
  Transfer transfer{{}, settings.largestReply, false, &cancel};
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);  // the key must not travel to another host
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (settings.trustFile) curl_easy_setopt(e, CURLOPT_CAINFO, settings.trustFile->c_str());
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(settings.connectTimeout.count()));
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(settings.requestTimeout.count()));
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &appendReply);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &checkCancel);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
  setBody(e);

  const CURLcode result = curl_easy_perform(e);
  if (transfer.oversized) return EngineFault::oversizedReply;
  if (result == CURLE_ABORTED_BY_CALLBACK) return EngineFault::cancelled;
  if (result == CURLE_OPERATION_TIMEDOUT) return EngineFault::timedOut;
  if (result != CURLE_OK) return EngineFault::unreachable;
  long status = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
  if (auto fault = faultOfStatus(status)) return *fault;
  return std::move(transfer.body);
}

}  // namespace wrenly::speech
