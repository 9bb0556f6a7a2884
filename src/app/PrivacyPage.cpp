#include "app/PrivacyPage.h"

#include "service/ServiceEndpoint.h"

namespace wrenly {

std::string privacyPageURL(std::string_view serviceBaseURL,
                           const std::optional<std::string>& localPages) {
  if (localPages && isLoopbackServiceURL(serviceBaseURL)) return *localPages + "/privacy/";
  std::optional<std::string> endpoint = canonicalServiceEndpoint(serviceBaseURL);
  if (!endpoint) endpoint = canonicalServiceEndpoint(builtInServiceURL);
  // The canonical form is https://HOST[:PORT]/wrenly/v1/: keep the origin.
  const std::string& url = endpoint ? *endpoint : std::string("https://speech.wrenly.app/");
  const std::size_t pathStart = url.find('/', std::string_view("https://").size());
  std::string origin = url.substr(0, pathStart);
  // The local service shows its pages over plain HTTP: a browser cannot know its authority.
  if (isLoopbackServiceURL(url)) origin.replace(0, std::string_view("https").size(), "http");
  return origin + "/privacy/";
}

}  // namespace wrenly
