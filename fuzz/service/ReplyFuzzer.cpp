// Feeds arbitrary bytes to everything that reads what the service or the browser sends back:
// recognition and account replies, error bodies, the sign-in page address and callback URL.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

#include "service/BrowserSignIn.h"
#include "service/ReplyDecoding.h"

using namespace wrenly;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  // Each reader either returns a value or throws its documented error; anything else (a crash,
  // a sanitizer report, an unexpected exception type escaping) is a finding.
  try {
    (void)decodeText(text);
  } catch (const std::exception&) {
  }
  try {
    (void)decodeAccountStatus(text);
  } catch (const ReplyDecodingError&) {
  }
  try {
    (void)decodeSignInStart(text);
  } catch (const ReplyDecodingError&) {
  }
  if (auto code = serviceErrorCode(text)) (void)isValidServiceCode(*code);
  (void)BrowserSignIn::isAuthorizationURL(text, "https://127.0.0.1:47615/wrenly/v1/");
  (void)BrowserSignIn::isValidCallback(text, "state1");
  return 0;
}
