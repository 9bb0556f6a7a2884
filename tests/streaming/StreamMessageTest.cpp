#include <gtest/gtest.h>

#include "diagnostics/MacDiagnostics.h"
#include "service/MacServiceError.h"
#include "streaming/StreamAddress.h"
#include "streaming/StreamError.h"
#include "streaming/StreamMessage.h"

namespace {

TEST(StreamMessageTest, ReadsTheFourMessageKinds) {
  const std::string result =
      R"({"type":"result","transcript":"a","text":"b","segments":-2,"fallbackSegments":9,"x":1})";
  EXPECT_EQ(interpretStreamMessage(R"({"type":"ready","extra":[1]})", false),
            StreamEvent(StreamReady{}));
  EXPECT_EQ(interpretStreamMessage(result, true),
            StreamEvent(MacStreamingSpeechResult{"a", "b", -2, 9}));
  EXPECT_EQ(interpretStreamMessage(result, false), StreamEvent(StreamInvalid{}))
      << "a result before the finish frame";
  EXPECT_EQ(interpretStreamMessage(R"({"type":"error","code":""})", false),
            StreamEvent(StreamServiceFailure{""}));
  for (
      const char* bad :
      {"", "{", "null", R"({"type":1})", R"({"Type":"ready"})", R"({"type":"READY"})",
       "{\"type\":\"ready\"} trailing",
       R"({"type":"result","transcript":"a","text":"b","segments":1.5,"fallbackSegments":1})",
       R"({"type":"result","transcript":"a","text":"b","segments":18446744073709551615,"fallbackSegments":1})",
       "{\"type\":\"ready\xff\"}"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(interpretStreamMessage(bad, true), StreamEvent(StreamInvalid{}));
  }
}

TEST(StreamMessageTest, BlankMeansOnlyUnicodeWhiteSpace) {
  EXPECT_TRUE(isBlank(""));
  EXPECT_TRUE(isBlank(" \t\r\n\u00a0\u2028\u3000"));
  EXPECT_FALSE(isBlank(" . "));
  EXPECT_FALSE(isBlank("\xff"));
  EXPECT_EQ(checkedServiceCode("request_busy"), "request_busy");
  EXPECT_EQ(checkedServiceCode("request busy"), "unknown");
}

TEST(StreamAddressTest, AppendsStreamSwitchesToWssAndAddsTheQueryInOrder) {
  auto address =
      StreamAddress::make("https://speech.example.org/wrenly/v1/", "ID-1", "zh HK", true);
  EXPECT_EQ(address.url,
            "wss://speech.example.org/wrenly/v1/stream?requestID=ID-1&language=zh%20HK&cleanup=1");
  EXPECT_EQ(address.host, "speech.example.org");
  EXPECT_EQ(address.port, "443");
  EXPECT_EQ(address.hostHeader, "speech.example.org");
  EXPECT_EQ(address.target, "/wrenly/v1/stream?requestID=ID-1&language=zh%20HK&cleanup=1");
  EXPECT_TRUE(address.hostIsName);

  auto literal = StreamAddress::make("https://[::1]:8443/wrenly/v1/", "X", "auto", false);
  EXPECT_EQ(literal.host, "::1");
  EXPECT_EQ(literal.port, "8443");
  EXPECT_EQ(literal.hostHeader, "[::1]:8443");
  EXPECT_FALSE(literal.hostIsName);
}

TEST(StreamAddressTest, RefusesWhatIsNotAnHttpsURL) {
  for (const char* base : {"", "http://example.org/wrenly/v1/", "https:///wrenly/v1/", "wrenly/v1/",
                           "https://exa mple.org/"}) {
    SCOPED_TRACE(base);
    try {
      StreamAddress::make(base, "X", "auto", true);
      ADD_FAILURE() << "accepted";
    } catch (const MacServiceError& error) {
      EXPECT_EQ(error.kind(), MacServiceError::Kind::invalidURL);
    }
  }
}

TEST(StreamErrorTest, RendersItsCaseNumberAndATraditionalChineseSentence) {
  const StreamError errors[] = {StreamError::invalidResponse(), StreamError::startTimeout(),
                                StreamError::finalTimeout(), StreamError::backpressure()};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(MacDiagnostics::errorCode(std::make_exception_ptr(errors[i])),
              "code=" + std::to_string(i));
    EXPECT_FALSE(errors[i].localizedDescription().empty());
  }
}

}  // namespace
