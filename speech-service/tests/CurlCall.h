#pragma once

#include <curl/curl.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "service/HttpTransport.h"

namespace wrenly::speech {

// One HTTPS call as the program makes it, trusting `authority` alone. Throws TransportError when
// no answer came within `seconds`.
inline HttpResponse httpsCall(const std::string& url, const std::string& method,
                              const std::filesystem::path& authority, const std::string& body = {},
                              std::vector<std::string> headers = {}, double seconds = 10) {
  const HttpRequest request{url,
                            method,
                            std::move(headers),
                            body.empty() ? nullptr : std::make_shared<const std::string>(body),
                            seconds,
                            authority};
  TransferControl control;
  return performHttpRequest(request, control);
}

// The status a browser gets for a plain-HTTP request (0 when no answer came): a POST of `body`
// when there is one.
inline long plainStatus(const std::string& url, const std::string& body = {},
                        const std::vector<std::string>& headers = {}) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
  curl_slist* list = nullptr;
  for (const auto& header : headers) list = curl_slist_append(list, header.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, 30'000L);
  curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(
      easy.get(), CURLOPT_WRITEFUNCTION,
      +[](char*, size_t size, size_t count, void*) { return size * count; });
  if (!body.empty()) curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.c_str());
  long status = 0;
  if (curl_easy_perform(easy.get()) == CURLE_OK) {
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  }
  curl_slist_free_all(list);
  return status;
}

}  // namespace wrenly::speech
