#include <gtest/gtest.h>

#include <cstdlib>

#include "service/MacVoiceService.h"
#include "service/ServiceEndpoint.h"

namespace {

struct Case {
  const char* text;
  const char* canonical;  // nullptr: no endpoint
};

TEST(CanonicalEndpoint, AcceptsOnlyHttpsUrlsOfTheServicePath) {
  const Case cases[] = {
      {" \n HTTPS://Speech.Example.COM/wrenly/v1\t", "https://speech.example.com/wrenly/v1/"},
      {"https://speech.example.com/wrenly/v1/", "https://speech.example.com/wrenly/v1/"},
      {"https://speech.example.com:8443/wrenly/v1", "https://speech.example.com:8443/wrenly/v1/"},
      {"https://speech.example.com:0443/wrenly/v1", "https://speech.example.com:0443/wrenly/v1/"},
      {"https://127.0.0.1:9/wrenly/v1/", "https://127.0.0.1:9/wrenly/v1/"},
      {"https://[::1]:9/wrenly/v1/", "https://[::1]:9/wrenly/v1/"},
      {"https://xn--bcher-kva.example/wrenly/v1/", "https://xn--bcher-kva.example/wrenly/v1/"},
      {"\xE3\x80\x80https://example.com/wrenly/v1/\xC2\xA0", "https://example.com/wrenly/v1/"},
      // Escapes of plain letters decode to the same host name.
      {"https://EX%41mple.com/wrenly/v1/", "https://example.com/wrenly/v1/"},
      {"http://speech.example.com/wrenly/v1/", nullptr},
      {"ftp://speech.example.com/wrenly/v1/", nullptr},
      {"https://speech.example.com/wrenly/v2/", nullptr},
      {"https://speech.example.com/wrenly/v1/extra", nullptr},
      {"https://speech.example.com/", nullptr},
      {"https://speech.example.com", nullptr},
      {"https://speech.example.com/WRENLY/v1/", nullptr},
      {"https://speech.example.com/wrenly%2Fv1/", nullptr},
      {"https://speech.example.com/%77renly/v1/", nullptr},
      {"https://speech.example.com/wrenly/v1/?", nullptr},
      {"https://speech.example.com/wrenly/v1/?a=1", nullptr},
      {"https://speech.example.com/wrenly/v1/#", nullptr},
      {"https://user@speech.example.com/wrenly/v1/", nullptr},
      {"https://user:pw@speech.example.com/wrenly/v1/", nullptr},
      {"https://@speech.example.com/wrenly/v1/", nullptr},
      {"https:///wrenly/v1/", nullptr},
      {"https:/wrenly/v1/", nullptr},
      {"speech.example.com/wrenly/v1/", nullptr},
      {"", nullptr},
      {"https://speech.example.com:99999/wrenly/v1/", nullptr},
      // International names must arrive already converted; escapes must not smuggle in other
      // characters that would make the host text mean something else.
      {"https://bücher.example/wrenly/v1/", nullptr},
      {"https://b%C3%BCcher.example/wrenly/v1/", nullptr},
      {"https://evil.com%2Fx.example.com/wrenly/v1/", nullptr},
      {"https://evil.com%40good.example/wrenly/v1/", nullptr},
      {"https://speech example.com/wrenly/v1/", nullptr},
      // Raw bytes outside ASCII are refused before parsing (the parser asserts on some).
      {"rrw:\xE9", nullptr},
      {"sr:\"", nullptr},
      {"https:[", nullptr},
      {"https://speech.example.com/wrenly/v1/\xE9", nullptr},
  };
  for (const auto& c : cases) {
    auto result = MacVoiceService::canonicalEndpoint(c.text);
    if (c.canonical) {
      EXPECT_EQ(result, std::optional<std::string>(c.canonical)) << c.text;
    } else {
      EXPECT_EQ(result, std::nullopt) << c.text;
    }
  }
}

TEST(CanonicalEndpoint, BuiltInUrlIsCanonical) {
  auto canonical = MacVoiceService::canonicalEndpoint(MacVoiceService::defaultURL);
  ASSERT_TRUE(canonical);
  EXPECT_EQ(*canonical, MacVoiceService::defaultURL);
}

TEST(ServiceConfiguration, EnvironmentReplacesTheBuiltInUrlWithoutFallingBack) {
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("WRENLY_CA_FILE");
  EXPECT_EQ(ServiceConfiguration::fromEnvironment().baseURLText, MacVoiceService::defaultURL);
  EXPECT_FALSE(ServiceConfiguration::fromEnvironment().extraTrustFile);

  setenv("WRENLY_SERVICE_URL", " https://LOCAL.test:8443/wrenly/v1 ", 1);
  setenv("WRENLY_CA_FILE", "/tmp/extra.pem", 1);
  auto configuration = ServiceConfiguration::fromEnvironment();
  EXPECT_EQ(canonicalServiceEndpoint(configuration.baseURLText),
            std::optional<std::string>("https://local.test:8443/wrenly/v1/"));
  EXPECT_EQ(configuration.extraTrustFile, std::filesystem::path("/tmp/extra.pem"));

  setenv("WRENLY_SERVICE_URL", "http://local.test/wrenly/v1/", 1);
  EXPECT_EQ(canonicalServiceEndpoint(ServiceConfiguration::fromEnvironment().baseURLText),
            std::nullopt);
  setenv("WRENLY_SERVICE_URL", "", 1);
  EXPECT_EQ(canonicalServiceEndpoint(ServiceConfiguration::fromEnvironment().baseURLText),
            std::nullopt);
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("WRENLY_CA_FILE");
}

}  // namespace
