#include <gtest/gtest.h>

#include <sys/stat.h>

#include <boost/system/system_error.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "service/BrowserSignIn.h"
#include "service/ReplyDecoding.h"
#include "service/RequestBodies.h"
#include "service/ServiceEndpoint.h"
#include "service/ServiceError.h"
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

// The environment's URL is used as it is, never replaced by the built-in one; only a loopback
// one brings the local service's socket and authority, which a trust file named in the
// environment replaces.
TEST(ServiceConfiguration, TakesTheEnvironmentsUrlAndTrustsTheLocalServiceOnlyForALoopbackOne) {
  EXPECT_EQ(SpeechServiceClient::canonicalEndpoint(SpeechServiceClient::defaultURL),
            std::string(SpeechServiceClient::defaultURL));
  unsetenv("WRENLY_SERVICE_URL");
  setenv("WRENLY_CA_FILE", "", 1);  // set but empty: no file
  EXPECT_EQ(ServiceConfiguration::fromEnvironment().baseURLText, SpeechServiceClient::defaultURL);
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
      {"http://local.test/wrenly/v1/", false},
      {"", false},
  };
  setenv("XDG_DATA_HOME", "/tmp/wrenly-data", 1);
  setenv("XDG_RUNTIME_DIR", "/tmp/wrenly-run", 1);
  using Path = std::optional<std::filesystem::path>;
  for (const auto& [url, loopback] : cases) {
    EXPECT_EQ(isLoopbackServiceURL(url), loopback) << url;
    setenv("WRENLY_SERVICE_URL", url, 1);
    const auto configuration = ServiceConfiguration::fromEnvironment();
    EXPECT_EQ(configuration.baseURLText, url);
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
  setenv("WRENLY_CA_FILE", "/tmp/extra.pem", 1);
  EXPECT_EQ(ServiceConfiguration::fromEnvironment().extraTrustFile, "/tmp/extra.pem");
  unsetenv("WRENLY_CA_FILE");
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_RUNTIME_DIR");
}

// The local service's socket and pages are found, and its authority trusted, only where nobody
// else may write (or, for the pages, read).
TEST(ServiceConfiguration, UsesTheLocalServicesFilesOnlyWhenTheyAreThisUsersOwn) {
  TemporaryDirectory home;
  const auto folder = home / "wrenly", data = home / "wrenly-speech-service";
  std::filesystem::create_directory(folder);
  std::filesystem::create_directory(data);
  std::ofstream(data / "authority.pem") << "certificate";
  setenv("XDG_RUNTIME_DIR", home.path().c_str(), 1);
  setenv("XDG_DATA_HOME", home.path().c_str(), 1);
  setenv("WRENLY_SERVICE_URL", "https://127.0.0.1:47615/wrenly/v1/", 1);
  unsetenv("WRENLY_CA_FILE");
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
  const std::pair<int, int> authorityModes[] = {{0700, 0600}, {0700, 0666}, {0777, 0600}};
  for (const auto& [folderMode, fileMode] : authorityModes) {
    ::chmod(data.c_str(), static_cast<mode_t>(folderMode));
    ::chmod((data / "authority.pem").c_str(), static_cast<mode_t>(fileMode));
    EXPECT_EQ(ServiceConfiguration::fromEnvironment().extraTrustFile.has_value(),
              folderMode == 0700 && fileMode == 0600)
        << folderMode << " " << fileMode;
  }
  unsetenv("WRENLY_SERVICE_URL");
  unsetenv("XDG_DATA_HOME");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_FALSE(localServiceSocket());
}

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(DecodeText, ReturnsTheTrimmedTextOrEmptyTranscriptOrTheParserError) {
  auto decoded = [](std::string_view body) -> std::string {
    try {
      return decodeText(body);
    } catch (const ServiceError& e) {
      return e.diagnosticCode();
    } catch (const boost::system::system_error&) {
      return "parser";
    }
  };
  // Ignored members may nest deeply; only nesting past any reasonable reply is refused.
  const auto deep = [](int depth) {
    return R"({"text":"x","other":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
  };
  const std::string deepest = deep(500), tooDeep = deep(600);
  const std::pair<std::string_view, std::string_view> rows[] = {
      {R"({"text":"  你好 world\n","other":1})", "你好 world"},
      {deepest, "x"},
      {tooDeep, "parser"},
      {"{\"text\":\"\xE3\x80\x80\xE5\xA5\xBD\xE3\x80\x80\"}", "\xE5\xA5\xBD"},
      {R"({"text":"   "})", "empty_transcript"},
      {R"({"other":"x"})", "empty_transcript"},
      {R"({"text":3})", "empty_transcript"},
      {R"(["text"])", "empty_transcript"},
      {"", "parser"},
  };
  for (const auto& [body, expected] : rows) EXPECT_EQ(decoded(body), expected) << body;
}

TEST(AccountReplies, DecodeRequiredMembersOnly) {
  EXPECT_EQ(decodeAccountStatus(R"({"active":true,"plan":"x"})"), AccountStatus{true});
  EXPECT_EQ(decodeSignInStart(R"({"authorizationURL":"https://a/b","state":"s"})"),
            (SignInStart{"https://a/b", "s"}));
  for (const char* body : {"{}", R"({"active":"true"})", R"({"active":1})", "[]", "x"}) {
    EXPECT_THROW(decodeAccountStatus(body), ReplyDecodingError) << body;
  }
  EXPECT_THROW(decodeSignInStart(R"({"authorizationURL":"https://a/b"})"), ReplyDecodingError);
  EXPECT_EQ(decodeEngineInfo(R"({"engine":"built-in","languages":["auto","english"]})"),
            (EngineInfo{true, {VoiceLanguage::english}}));
  EXPECT_EQ(decodeEngineInfo(R"({"engine":"endpoint","languages":["auto","cantonese",1,"x"]})"),
            (EngineInfo{false, {VoiceLanguage::cantonese}}));
  EXPECT_THROW(decodeEngineInfo(R"({"engine":"built-in"})"), ReplyDecodingError);
}

TEST(RequestBodies, AreExactEscapedAndUseStandardBase64) {
  EXPECT_EQ(
      transcribeBody(bytes("RIFF"), "auto", std::nullopt, "1b4e28ba-2fa1-11d2-883f-0016d3cca427"),
      R"({"requestID":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","wavBase64":"UklGRg==",)"
      R"("language":"auto","streamRecoveryID":""})");
  EXPECT_EQ(transcribeBody(bytes(""), "cantonese", std::string("aa"), "B"),
            R"({"requestID":"B","wavBase64":"","language":"cantonese","streamRecoveryID":"AA"})");
  // The user's vocabulary hint, only when there is one.
  EXPECT_EQ(transcribeBody(bytes(""), "auto", std::nullopt, "B", "GitHub, \"九龍塘\""),
            R"({"requestID":"B","wavBase64":"","language":"auto","streamRecoveryID":"",)"
            R"("vocabulary":"GitHub, \"九龍塘\""})");
  EXPECT_EQ(cleanBody("ID", std::nullopt, "say \"hi\"\n"),
            R"({"requestID":"ID","operation":"macCleanupTraditional","sourceRequestID":"",)"
            R"("text":"say \"hi\"\n"})");
  EXPECT_EQ(spokenTaskBody("ID", std::string("src"), "", "翻譯"),
            R"({"requestID":"ID","operation":"selectedVoiceTask","sourceRequestID":"SRC",)"
            R"("text":"","instruction":"翻譯"})");
  EXPECT_EQ(base64(bytes("\xFB\xFF\xBF"
                         "fo")),
            "+/+/Zm8=");
  // Longer than one encoder chunk: no line breaks, nothing lost at the seam.
  std::string wav((3u << 20) + 2, '\x01');
  std::string encoded = base64(bytes(wav));
  EXPECT_EQ(encoded.size(), (wav.size() + 2) / 3 * 4);
  EXPECT_EQ(encoded.find_first_not_of("AQEB"), encoded.size() - 1);  // "AQE="
}

TEST(SignInChecks, CallbackMustAnswerThisSignIn) {
  struct Row {
    const char* callback;
    bool accepted;
  };
  const Row rows[] = {
      {"wrenly-auth://complete?state=s1", true},
      {"wrenly-auth://complete?state=s1&state=no", true},  // the first "state" decides
      {"wrenly-auth://complete?state=s1#done", true},      // only the query is read
      {"wrenly-auth://complete?state=no&state=s1", false},
      {"wrenly-auth://complete?state=other", false},
      {"wrenly-auth://complete?error=denied&state=s1", false},
      {"wrenly-auth://complete?state=s1&error", false},
      {"wrenly-auth://complete?state", false},
      {"wrenly-auth://complete", false},
      {"wrenly-auth://completed?state=s1", false},
      {"wrenly-other://complete?state=s1", false},
      {"wrenly-auth://COMPLETE?state=s1", false},
      {"wrenly-auth://complete?state=s1\xE9", false},
      // An empty query, the state only in the fragment.
      {"wrenly-auth://complete?#state=s1", false},
      {"wrenly-auth://complete?&state=s1", true},
      {"wrenly-auth://complete?st%61te=s%31", true},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(BrowserSignIn::isValidCallback(row.callback, "s1"), row.accepted) << row.callback;
  }
  // A "+" in the query is a plus sign, as the service sent it, not a space.
  EXPECT_TRUE(BrowserSignIn::isValidCallback("wrenly-auth://complete?state=a+b%2Bc", "a+b+c"));
  EXPECT_FALSE(BrowserSignIn::isValidCallback("wrenly-auth://complete?state=a+b", "a b"));
}

TEST(SignInChecks, OnlyApplesPageOrTheLocalServicesOwnOriginIsShownAndTheTokenIsUrlSafe) {
  const std::string remote = "https://speech.example.com/wrenly/v1/";
  const std::string local = "https://127.0.0.1:47615/wrenly/v1/";
  for (const auto& base : {remote, local}) {
    EXPECT_TRUE(BrowserSignIn::isAuthorizationURL("https://appleid.apple.com/auth?x=1#y", base));
  }
  for (const char* url :
       {"HTTPS://appleid.apple.com/auth", "http://appleid.apple.com/auth",
        "https://appleid.apple.com.evil.example/auth", "https://AppleID.apple.com/auth",
        "https://127.0.0.1/auth", "https://speech.example.com/wrenly/v1/sign-in", "not a url"}) {
    EXPECT_FALSE(BrowserSignIn::isAuthorizationURL(url, remote)) << url;
  }
  for (const char* url :
       {"https://127.0.0.1:47615/sign-in?s=1", "http://127.0.0.1:47615/wrenly/v1/sign-in?s=1"}) {
    EXPECT_TRUE(BrowserSignIn::isAuthorizationURL(url, local)) << url;
  }
  for (const char* url : {"https://127.0.0.1/sign-in", "https://127.0.0.1:47616/sign-in",
                          "http://127.0.0.1/sign-in", "ftp://127.0.0.1:47615/sign-in",
                          "https://localhost:47615/sign-in", "http://u@127.0.0.1:47615/sign-in"}) {
    EXPECT_FALSE(BrowserSignIn::isAuthorizationURL(url, local)) << url;
  }
  unsigned char random[32];
  for (int i = 0; i < 32; ++i) random[i] = static_cast<unsigned char>(0xFB + i);
  const std::string token = BrowserSignIn::urlSafeToken(random);
  EXPECT_EQ(token.size(), 43u);
  EXPECT_EQ(token.find_first_of("+/="), std::string::npos);
  EXPECT_NE(token.find_first_of("-_"), std::string::npos);
}

}  // namespace
