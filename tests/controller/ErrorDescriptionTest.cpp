// Errors the program did not raise itself still tell the user what failed: the
// wording in full, as the user reads it.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <pulse/def.h>

#include <boost/json/parse.hpp>
#include <boost/system/system_error.hpp>

#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "platform/linux/pulse/PulseError.h"
#include "service/TransportError.h"

using namespace wrenly;

namespace {

// What the JSON parser throws for a reply that is not JSON.
std::exception_ptr parserError(std::string_view reply) {
  try {
    boost::json::parse(reply);
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

TEST(ErrorDescription, PlatformErrorsSayWhatFailedWithThePlatformsOwnText) {
  using std::make_exception_ptr;
  const std::tuple<std::exception_ptr, std::string, std::string> rows[] = {
      {make_exception_ptr(pulseError(PA_ERR_ACCESS, "open")), "",
       "音訊伺服器未能開啟麥克風（Access denied）。"},
      {make_exception_ptr(std::system_error(make_error_code(std::errc::device_or_resource_busy))),
       Messages::microphoneNotStarted, "麥克風無法啟動（Device or resource busy）。"},
      {parserError("<html>"), "", "未能讀取語音服務的回應（syntax error）。"},
      {make_exception_ptr(TransportError(CURLE_RECV_ERROR)), "",
       "網絡連線發生錯誤（Failure when receiving data from the peer）。"},
  };
  for (const auto& [error, whatFailed, description] : rows) {
    EXPECT_EQ(describe(error, whatFailed), description);
  }
}

}  // namespace
