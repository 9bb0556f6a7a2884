#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "service/ServiceEndpoint.h"
#include "service/SpeechServiceClient.h"
#include "support/TemporaryDirectory.h"

using namespace wrenly;

namespace {

TEST(CanonicalEndpoint, AcceptsOnlyHttpsUrlsOfTheServicePath) {
  const std::pair<const char*, const char*> cases[] = {
      // text, canonical form or none
      {" \n HTTPS://Speech.Example.COM/wrenly/v1\t", "https://speech.example.com/wrenly/v1/"},
      {"https://speech.example.com:8443/wrenly/v1", "https://speech.example.com:8443/wrenly/v1/"},
      {"https://[::1]:9/wrenly/v1/", "https://[::1]:9/wrenly/v1/"},
      {"https://xn--bcher-kva.example/wrenly/v1/", "https://xn--bcher-kva.example/wrenly/v1/"},
      {"\xE3\x80\x80https://example.com/wrenly/v1/\xC2\xA0", "https://example.com/wrenly/v1/"},
      // Escapes of plain letters decode to the same host name.
      {"https://EX%41mple.com/wrenly/v1/", "https://example.com/wrenly/v1/"},
      {"http://speech.example.com/wrenly/v1/", nullptr},
      {"https://speech.example.com/wrenly/v2/", nullptr},
      {"https://speech.example.com/wrenly/v1/extra", nullptr},
      {"https://speech.example.com/", nullptr},
      {"https://speech.example.com", nullptr},
      {"https://speech.example.com/WRENLY/v1/", nullptr},
      {"https://speech.example.com/wrenly%2Fv1/", nullptr},
      {"https://speech.example.com/%77renly/v1/", nullptr},
      {"https://speech.example.com/wrenly/v1/?", nullptr},
      {"https://speech.example.com/wrenly/v1/#", nullptr},
      {"https://user@speech.example.com/wrenly/v1/", nullptr},
      {"https:///wrenly/v1/", nullptr},
      {"", nullptr},
      {"https://speech.example.com:99999/wrenly/v1/", nullptr},
      {"https://speech.example.com:065536/wrenly/v1/", nullptr},
      {"https://speech.example.com:18446744073709551616443/wrenly/v1/", nullptr},
      // Every unreserved character may name a host; a port may have leading zeros.
      {"https://my_speech~1.example:000443/wrenly/v1/",
       "https://my_speech~1.example:443/wrenly/v1/"},
      {"https://speech.example.com:00000000000000000000065535/wrenly/v1/",
       "https://speech.example.com:65535/wrenly/v1/"},
      // International names must arrive already converted; escapes must not smuggle in other
      // characters that would make the host text mean something else.
      {"https://bücher.example/wrenly/v1/", nullptr},
      {"https://b%C3%BCcher.example/wrenly/v1/", nullptr},
      {"https://evil.com%2Fx.example.com/wrenly/v1/", nullptr},
      {"https://evil.com%40good.example/wrenly/v1/", nullptr},
      // Raw bytes outside ASCII are refused before parsing (the parser asserts on some).
      {"rrw:\xE9", nullptr},
      {"https:[", nullptr},
  };
  for (const auto& [text, canonical] : cases) {
    EXPECT_EQ(SpeechServiceClient::canonicalEndpoint(text),
              canonical ? std::optional<std::string>(canonical) : std::nullopt)
        << text;
  }
}

TEST(ServiceConfiguration, EnvironmentReplacesTheCanonicalBuiltInUrlWithoutFallingBack) {
  EXPECT_EQ(SpeechServiceClient::canonicalEndpoint(SpeechServiceClient::defaultURL),
            std::string(SpeechServiceClient::defaultURL));
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("WRENLY_CA_FILE");
  EXPECT_EQ(ServiceConfiguration::fromEnvironment().baseURLText, SpeechServiceClient::defaultURL);

  setenv("WRENLY_CA_FILE", "/tmp/extra.pem", 1);
  EXPECT_EQ(ServiceConfiguration::fromEnvironment().extraTrustFile, "/tmp/extra.pem");
  unsetenv("WRENLY_CA_FILE");
  for (const char* invalid : {"http://local.test/wrenly/v1/", ""}) {
    setenv("WRENLY_SERVICE_URL", invalid, 1);
    EXPECT_EQ(canonicalServiceEndpoint(ServiceConfiguration::fromEnvironment().baseURLText),
              std::nullopt);
  }
  unsetenv("WRENLY_SERVICE_URL");
}

TEST(ServiceConfiguration, TrustsTheLocalServicesAuthorityOnlyForALoopbackBaseUrl) {
  const std::pair<const char*, bool> cases[] = {
      {"https://127.0.0.1:47615/wrenly/v1/", true},
      {"https://127.8.9.1/wrenly/v1/", true},
      {"https://LocalHost:1/wrenly/v1/", true},
      {"https://[::1]:9/wrenly/v1/", true},
      {"https://128.0.0.1/wrenly/v1/", false},
      {"https://localhost.example/wrenly/v1/", false},
      {"https://[::2]/wrenly/v1/", false},
      {"https://speech.example.com/wrenly/v1/", false},
      {"not a url", false},
  };
  unsetenv("WRENLY_CA_FILE");
  setenv("XDG_DATA_HOME", "/tmp/wrenly-data", 1);
  setenv("XDG_RUNTIME_DIR", "/tmp/wrenly-run", 1);
  using Path = std::optional<std::filesystem::path>;
  for (const auto& [url, loopback] : cases) {
    EXPECT_EQ(isLoopbackServiceURL(url), loopback) << url;
    setenv("WRENLY_SERVICE_URL", url, 1);
    const auto configuration = ServiceConfiguration::fromEnvironment();
    EXPECT_EQ(configuration.extraTrustFile,
              loopback ? Path("/tmp/wrenly-data/wrenly-speech-service/authority.pem") : Path())
        << url;
    // Any address of this machine is the user's own service, through its socket, vouched for by
    // its authority alone.
    EXPECT_EQ(configuration.localSocket,
              loopback ? Path("/tmp/wrenly-run/wrenly/speech-service.sock") : Path())
        << url;
    EXPECT_EQ(configuration.trustSystemAuthorities, !loopback) << url;
  }
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_RUNTIME_DIR");
}

TEST(ServiceConfiguration, FindsTheLocalServiceOnlyInARuntimeFolderOfThisUsersOwn) {
  TemporaryDirectory run;
  const auto folder = run / "wrenly";
  std::filesystem::create_directory(folder);
  setenv("XDG_RUNTIME_DIR", run.path().c_str(), 1);
  struct Row {
    int folderMode;
    int pagesMode;
    const char* pages;
    bool socket;
    std::optional<std::string> origin;
  };
  const Row rows[] = {
      {0700, 0600, "http://127.0.0.1:40123/\n", true, "http://127.0.0.1:40123"},
      {0700, 0600, "http://[::1]:40123/", true, "http://[::1]:40123"},
      {0720, 0600, "http://127.0.0.1:40123/", false, std::nullopt},  // others may write there
      {0700, 0644, "http://127.0.0.1:40123/", true, std::nullopt},   // others may read it
      {0700, 0600, "https://127.0.0.1:40123/", true, std::nullopt},
      {0700, 0600, "http://speech.example.com:40123/", true, std::nullopt},
      {0700, 0600, "http://127.0.0.1:40123/elsewhere", true, std::nullopt},
      {0700, 0600, "http://127.0.0.1/", true, std::nullopt},
  };
  for (const Row& row : rows) {
    std::ofstream(folder / "speech-service.pages", std::ios::trunc) << row.pages;
    ::chmod(folder.c_str(), static_cast<mode_t>(row.folderMode));
    ::chmod((folder / "speech-service.pages").c_str(), static_cast<mode_t>(row.pagesMode));
    EXPECT_EQ(localServiceSocket().has_value(), row.socket) << row.folderMode;
    EXPECT_EQ(localServicePagesOrigin(), row.origin) << row.pages << " " << row.pagesMode;
  }
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_FALSE(localServiceSocket());
}

TEST(ServiceConfiguration, TrustsTheLocalAuthorityOnlyWhenNobodyElseCanWriteIt) {
  TemporaryDirectory data;
  const auto folder = data / "wrenly-speech-service";
  std::filesystem::create_directory(folder);
  std::ofstream(folder / "authority.pem") << "certificate";
  setenv("XDG_DATA_HOME", data.path().c_str(), 1);
  setenv("WRENLY_SERVICE_URL", "https://127.0.0.1:47615/wrenly/v1/", 1);
  unsetenv("WRENLY_CA_FILE");
  const std::pair<int, int> cases[] = {{0700, 0600}, {0700, 0666}, {0777, 0600}};
  for (const auto& [folderMode, fileMode] : cases) {
    ::chmod(folder.c_str(), static_cast<mode_t>(folderMode));
    ::chmod((folder / "authority.pem").c_str(), static_cast<mode_t>(fileMode));
    EXPECT_EQ(ServiceConfiguration::fromEnvironment().extraTrustFile.has_value(),
              folderMode == 0700 && fileMode == 0600)
        << folderMode << " " << fileMode;
  }
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("XDG_DATA_HOME");
}

}  // namespace
