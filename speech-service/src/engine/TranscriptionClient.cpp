#include "engine/TranscriptionClient.h"

#include <curl/curl.h>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <memory>

namespace wrenly::speech {

namespace {

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MimeDeleter {
  void operator()(curl_mime* mime) const { curl_mime_free(mime); }
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

void addField(curl_mime* mime, const char* name, std::string_view value) {
  curl_mimepart* part = curl_mime_addpart(mime);
  curl_mime_name(part, name);
  curl_mime_data(part, value.data(), value.size());
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

std::variant<std::string, EngineFault> transcriptOfReply(long status, std::string_view body) {
  if (status == 429 || status == 503) return EngineFault::busy;
  if (status == 408 || status == 504) return EngineFault::timedOut;
  if (status >= 400 && status < 500) return EngineFault::refused;
  if (status < 200 || status >= 300) return EngineFault::failed;
  boost::system::error_code ec;
  const boost::json::value reply = boost::json::parse(body, ec);
  const auto* object = ec ? nullptr : reply.if_object();
  const auto* text = object ? object->if_contains("text") : nullptr;
  if (!text || !text->is_string()) return EngineFault::malformedReply;
  return std::string(text->as_string());
}

TranscriptionClient::TranscriptionClient(EndpointSettings settings)
    : settings_(std::move(settings)), url_(settings_.baseURL + "/audio/transcriptions") {
  if (!settings_.apiKey.empty()) authorization_ = "Authorization: Bearer " + settings_.apiKey;
}

std::variant<std::string, EngineFault> TranscriptionClient::transcribe(
    const std::string& wav, std::string_view languageCode, const std::atomic<bool>& cancel) const {
  std::unique_ptr<CURL, EasyDeleter> easy(curlReady() ? curl_easy_init() : nullptr);
  if (!easy) return EngineFault::failed;
  CURL* e = easy.get();
  std::unique_ptr<curl_mime, MimeDeleter> mime(curl_mime_init(e));
  curl_mimepart* file = curl_mime_addpart(mime.get());
  curl_mime_name(file, "file");
  curl_mime_filename(file, "audio.wav");
  curl_mime_type(file, "audio/wav");
  curl_mime_data(file, wav.data(), wav.size());
  addField(mime.get(), "model", settings_.model);
  if (!languageCode.empty()) addField(mime.get(), "language", languageCode);
  addField(mime.get(), "response_format", "json");
  if (!settings_.vocabulary.empty()) addField(mime.get(), "prompt", settings_.vocabulary);

  std::unique_ptr<curl_slist, ListDeleter> headers;
  // An engine that waits for "100 Continue" would cost a round trip per segment.
  headers.reset(curl_slist_append(nullptr, "Expect:"));
  if (!authorization_.empty()) {
    headers.reset(curl_slist_append(headers.release(), authorization_.c_str()));
  }
  Transfer transfer{{}, settings_.largestReply, false, &cancel};
  curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);  // the key must not travel to another host
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (settings_.trustFile) curl_easy_setopt(e, CURLOPT_CAINFO, settings_.trustFile->c_str());
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(settings_.connectTimeout.count()));
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, long(settings_.requestTimeout.count()));
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_MIMEPOST, mime.get());
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &appendReply);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &checkCancel);
  curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);

  const CURLcode result = curl_easy_perform(e);
  if (transfer.oversized) return EngineFault::oversizedReply;
  if (result == CURLE_ABORTED_BY_CALLBACK) return EngineFault::cancelled;
  if (result == CURLE_OPERATION_TIMEDOUT) return EngineFault::timedOut;
  if (result != CURLE_OK) return EngineFault::unreachable;
  long status = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
  return transcriptOfReply(status, transfer.body);
}

}  // namespace wrenly::speech
