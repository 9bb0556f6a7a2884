#include "engine/TranscriptionClient.h"

#include <curl/curl.h>

#include <boost/json/parse.hpp>
#include <boost/json/value.hpp>
#include <memory>

namespace wrenly::speech {

namespace {

struct MimeDeleter {
  void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};

void addField(curl_mime* mime, const char* name, std::string_view value) {
  curl_mimepart* part = curl_mime_addpart(mime);
  curl_mime_name(part, name);
  curl_mime_data(part, value.data(), value.size());
}

}  // namespace

std::variant<std::string, EngineFault> transcriptOfReply(std::string_view body) {
  boost::system::error_code ec;
  const boost::json::value reply = boost::json::parse(body, ec);
  const auto* object = ec ? nullptr : reply.if_object();
  const auto* text = object ? object->if_contains("text") : nullptr;
  if (!text || !text->is_string()) return EngineFault::malformedReply;
  return std::string(text->as_string());
}

std::variant<std::string, EngineFault> TranscriptionClient::transcribe(
    const std::string& wav, std::string_view languageCode, std::string_view vocabulary,
    const std::atomic<bool>& cancel) const {
  std::string prompt = settings_.vocabulary;
  if (!prompt.empty() && !vocabulary.empty()) prompt += ", ";
  prompt += vocabulary;
  std::unique_ptr<curl_mime, MimeDeleter> mime;
  auto reply = postToEndpoint(
      settings_, "audio/transcriptions", {},
      [&](CURL* easy) {
        mime.reset(curl_mime_init(easy));
        curl_mimepart* file = curl_mime_addpart(mime.get());
        curl_mime_name(file, "file");
        curl_mime_filename(file, "audio.wav");
        curl_mime_type(file, "audio/wav");
        curl_mime_data(file, wav.data(), wav.size());
        addField(mime.get(), "model", settings_.model);
        if (!languageCode.empty()) addField(mime.get(), "language", languageCode);
        addField(mime.get(), "response_format", "json");
        if (!prompt.empty()) addField(mime.get(), "prompt", prompt);
        curl_easy_setopt(easy, CURLOPT_MIMEPOST, mime.get());
      },
      cancel);
  if (auto* fault = std::get_if<EngineFault>(&reply)) return *fault;
  return transcriptOfReply(std::get<std::string>(reply));
}

}  // namespace wrenly::speech
