#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include "service/MacServiceError.h"
#include "service/ReplyDecoding.h"
#include "service/RequestBodies.h"
#include "service/TransportError.h"

namespace {

std::span<const std::uint8_t> bytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(DecodeText, TrimsTheTextMember) {
  EXPECT_EQ(decodeText(R"({"text":"  你好 world\n","other":1})"), "你好 world");
  EXPECT_EQ(decodeText("{\"text\":\"\xE3\x80\x80\xE5\xA5\xBD\xE3\x80\x80\"}"), "\xE5\xA5\xBD");
}

TEST(DecodeText, NoUsableTextIsAnEmptyTranscript) {
  for (const char* body : {R"({"text":"   "})", R"({"text":"\n"})", R"({"other":"x"})",
                           R"({"text":3})", R"(["text"])", R"("text")"}) {
    try {
      decodeText(body);
      ADD_FAILURE() << body;
    } catch (const MacServiceError& error) {
      EXPECT_EQ(error, MacServiceError::emptyTranscript()) << body;
    }
  }
}

TEST(DecodeText, ABodyThatIsNotJsonThrowsTheParserError) {
  EXPECT_THROW(decodeText("<html>"), boost::system::system_error);
  EXPECT_THROW(decodeText(""), boost::system::system_error);
}

TEST(ServiceErrorCode, ReadsOnlyAStringCodeInsideAnErrorObject) {
  EXPECT_EQ(serviceErrorCode(R"({"error":{"code":"request_busy","x":1}})"), "request_busy");
  EXPECT_EQ(serviceErrorCode(R"({"error":{"code":""}})"), "");
  EXPECT_EQ(serviceErrorCode(R"({"error":"request_busy"})"), std::nullopt);
  EXPECT_EQ(serviceErrorCode(R"({"error":{"code":7}})"), std::nullopt);
  EXPECT_EQ(serviceErrorCode(R"({"code":"x"})"), std::nullopt);
  EXPECT_EQ(serviceErrorCode("not json"), std::nullopt);
  EXPECT_EQ(serviceErrorCode(""), std::nullopt);
}

TEST(ServiceErrorCode, ValidCodesAreShortLowerCaseWords) {
  EXPECT_TRUE(isValidServiceCode("provider_rate_limited"));
  EXPECT_TRUE(isValidServiceCode(""));
  EXPECT_TRUE(isValidServiceCode(std::string(80, 'a')));
  EXPECT_FALSE(isValidServiceCode(std::string(81, 'a')));
  EXPECT_FALSE(isValidServiceCode("request-busy"));
  EXPECT_FALSE(isValidServiceCode("Request_busy"));
  EXPECT_FALSE(isValidServiceCode("caf\xC3\xA9"));
}

TEST(AccountReplies, DecodeRequiredMembersOnly) {
  EXPECT_EQ(decodeAccountStatus(R"({"active":true,"plan":"x"})"), MacAccountStatus{true});
  EXPECT_EQ(decodeAccountStatus(R"({"active":false})"), MacAccountStatus{false});
  EXPECT_EQ(decodeAppleLoginStart(R"({"authorizationURL":"https://a/b","state":"s"})"),
            (MacAppleLoginStart{"https://a/b", "s"}));
  for (const char* body : {"{}", R"({"active":"true"})", R"({"active":1})", "[]", "x"}) {
    EXPECT_THROW(decodeAccountStatus(body), ReplyDecodingError) << body;
  }
  EXPECT_THROW(decodeAppleLoginStart(R"({"authorizationURL":"https://a/b"})"), ReplyDecodingError);
  EXPECT_EQ(ReplyDecodingError(ReplyDecodingFailure::missingMember).diagnosticCode(), "code=2");
}

TEST(RequestBodies, Base64IsStandardWithoutLineBreaks) {
  EXPECT_EQ(base64(bytes("")), "");
  EXPECT_EQ(base64(bytes("f")), "Zg==");
  EXPECT_EQ(base64(bytes("fo")), "Zm8=");
  EXPECT_EQ(base64(bytes("foo")), "Zm9v");
  EXPECT_EQ(base64(bytes("\xFB\xFF\xBF")), "+/+/");
  std::string long_(100000, '\x01');
  std::string encoded = base64(bytes(long_));
  EXPECT_EQ(encoded.find('\n'), std::string::npos);
  EXPECT_EQ(encoded.size(), (long_.size() + 2) / 3 * 4);
}

TEST(RequestBodies, TranscribeBodyIsExact) {
  EXPECT_EQ(
      transcribeBody(bytes("RIFF"), "auto", std::nullopt, "1b4e28ba-2fa1-11d2-883f-0016d3cca427"),
      R"({"requestID":"1B4E28BA-2FA1-11D2-883F-0016D3CCA427","wavBase64":"UklGRg==",)"
      R"("language":"auto","streamRecoveryID":""})");
  EXPECT_EQ(transcribeBody(bytes(""), "cantonese", std::string("aa"), "B"),
            R"({"requestID":"B","wavBase64":"","language":"cantonese","streamRecoveryID":"AA"})");
}

TEST(RequestBodies, TextBodiesAreExactAndEscaped) {
  EXPECT_EQ(cleanBody("ID", std::nullopt, "say \"hi\"\n"),
            R"({"requestID":"ID","operation":"macCleanupTraditional","sourceRequestID":"",)"
            R"("text":"say \"hi\"\n"})");
  EXPECT_EQ(spokenTaskBody("ID", std::string("src"), "", "翻譯"),
            R"({"requestID":"ID","operation":"selectedVoiceTask","sourceRequestID":"SRC",)"
            R"("text":"","instruction":"翻譯"})");
  EXPECT_EQ(appleLoginStartBody("a-b_c"), R"({"token":"a-b_c"})");
}

TEST(TransportErrors, CarryTheLibraryCodeAndAChineseDescription) {
  EXPECT_EQ(TransportError(28).diagnosticCode(), "code=28");
  EXPECT_EQ(TransportError(7).localizedDescription(), TransportError(6).localizedDescription());
  EXPECT_NE(TransportError(28).localizedDescription(), TransportError(7).localizedDescription());
  EXPECT_TRUE(TransportError(60).isTlsFailure());
  EXPECT_NE(TransportError(60).localizedDescription(), TransportError(56).localizedDescription());
  EXPECT_TRUE(TransportError(42).isCancellation());
}

}  // namespace
