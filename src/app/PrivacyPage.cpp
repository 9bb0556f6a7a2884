#include "app/PrivacyPage.h"

#include "service/ServiceEndpoint.h"

namespace wrenly {

std::string privacyPageURL(std::string_view serviceBaseURL) {
  std::optional<std::string> endpoint = canonicalServiceEndpoint(serviceBaseURL);
  if (!endpoint) endpoint = canonicalServiceEndpoint(builtInServiceURL);
  // The canonical form is https://HOST[:PORT]/wrenly/v1/: keep the origin.
  const std::string& url = endpoint ? *endpoint : std::string("https://speech.wrenly.app/");
  const std::size_t pathStart = url.find('/', std::string_view("https://").size());
  return url.substr(0, pathStart) + "/privacy/";
}

}  // namespace wrenly
