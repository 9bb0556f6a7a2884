#include <gtest/gtest.h>

#include "streaming/StreamAddress.h"
#include "streaming/StreamMessage.h"

using namespace wrenly;

namespace {

TEST(StreamMessageTest, ReadsTheFiveMessageKinds) {
  const std::string result =
      R"({"type":"result","transcript":"a","text":" . ","segments":-2,"fallbackSegments":9,"x":1})";
  const std::string deep = std::string(100, '[') + std::string(100, ']');
  EXPECT_EQ(interpretStreamMessage(R"({"type":"ready","extra":)" + deep + "}", false),
            StreamEvent(StreamReady{}));
  EXPECT_EQ(interpretStreamMessage(result, true),
            StreamEvent(LiveRecognitionResult{"a", " . ", -2, 9}));
  EXPECT_EQ(interpretStreamMessage(R"({"type":"error","code":""})", false),
            StreamEvent(StreamServiceFailure{""}));
  EXPECT_EQ(interpretStreamMessage(R"({"type":"error","code":7})", false),
            StreamEvent(StreamServiceFailure{"unknown"}));
  EXPECT_EQ(interpretStreamMessage(R"({"type":"interim","text":"go 十"})", false),
            StreamEvent(StreamInterim{"go 十"}));
  for (
      const char* bad :
      {"", "{", "null", R"(["ready"])", R"({"type":1})", R"({"Type":"ready"})",
       R"({"type":"READY"})", "{\"type\":\"ready\"} trailing", "{\"type\":\"ready\xff\"}",
       R"({"type":"interim"})", R"({"type":"interim","text":["go"]})",
       R"({"type":"result","transcript":"\n","text":"b","segments":1,"fallbackSegments":1})",
       R"({"type":"result","transcript":"a","text":" \t\r\n\u00a0\u2028\u3000","segments":1,"fallbackSegments":1})",
       R"({"type":"result","transcript":"a","text":"b","fallbackSegments":1})",
       R"({"type":"result","transcript":"a","text":"b","segments":1.5,"fallbackSegments":1})",
       R"({"type":"result","transcript":"a","text":"b","segments":18446744073709551615,"fallbackSegments":1})"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(interpretStreamMessage(bad, true), StreamEvent(StreamInvalid{}));
  }
}

TEST(StreamAddressTest, AppendsStreamSwitchesToWssAndAddsTheQueryInOrder) {
  auto address =
      StreamAddress::make("https://speech.example.org/wrenly/v1/", "ID-1", "zh HK", true);
  EXPECT_EQ(address.url,
            "wss://speech.example.org/wrenly/v1/stream?requestID=ID-1&language=zh%20HK&cleanup=1");
  EXPECT_EQ(address.port, "443");
  EXPECT_TRUE(address.hostIsName);

  auto literal = StreamAddress::make("https://[::1]:8443/wrenly/v1/", "X", "auto", false);
  EXPECT_EQ(literal.host, "::1");
  EXPECT_EQ(literal.port, "8443");
  EXPECT_EQ(literal.hostHeader, "[::1]:8443");
  EXPECT_FALSE(literal.hostIsName);

  auto hinted = StreamAddress::make("https://h/wrenly/v1/", "X", "auto", false, "C++, 九龍塘&x");
  EXPECT_EQ(hinted.target,
            "/wrenly/v1/stream?requestID=X&language=auto&cleanup=0&vocabulary=C%2B%2B%2C%20"
            "%E4%B9%9D%E9%BE%8D%E5%A1%98%26x");
}

}  // namespace
