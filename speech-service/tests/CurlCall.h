#pragma once

#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace wrenly::speech {

// What one call got back: the status (0 when no answer came) and how long it took.
struct CurlAnswer {
  long status = 0;
  std::chrono::milliseconds elapsed{0};
};

// One call on a connection of its own: over HTTPS trusting `authority` alone, or, without one,
// over plain HTTP as a browser makes it; given up after `within`.
inline CurlAnswer curlCall(const std::string& url, const std::string& method,
                           const std::vector<std::string>& headers = {},
                           const std::string& body = {}, const std::string& authority = {},
                           std::chrono::milliseconds within = std::chrono::seconds(30)) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), curl_easy_cleanup);
  curl_slist* list = nullptr;
  for (const auto& header : headers) list = curl_slist_append(list, header.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_PROTOCOLS_STR, authority.empty() ? "http" : "https");
  if (!authority.empty()) curl_easy_setopt(easy.get(), CURLOPT_CAINFO, authority.c_str());
  curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT_MS, static_cast<long>(within.count()));
  curl_easy_setopt(easy.get(), CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(
      easy.get(), CURLOPT_WRITEFUNCTION,
      +[](char*, size_t size, size_t count, void*) { return size * count; });
  if (!body.empty()) curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDS, body.c_str());
  CurlAnswer answer;
  const auto started = std::chrono::steady_clock::now();
  if (curl_easy_perform(easy.get()) == CURLE_OK) {
    curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &answer.status);
  }
  answer.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  curl_slist_free_all(list);
  return answer;
}

// The status a browser gets for a plain-HTTP request: a POST of `body` when there is one.
inline long plainStatus(const std::string& url, const std::string& body = {},
                        const std::vector<std::string>& headers = {}) {
  return curlCall(url, body.empty() ? "GET" : "POST", headers, body).status;
}

}  // namespace wrenly::speech
