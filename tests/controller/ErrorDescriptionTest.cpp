// Errors the program did not raise itself still tell the user what failed: the wording in full,
// as the user reads it.

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <pulse/def.h>

#include <boost/json/parse.hpp>
#include <boost/system/system_error.hpp>
#include <functional>

#include "messages/ErrorText.h"
#include "messages/Messages.h"
#include "platform/linux/pulse/PulseError.h"
#include "service/TransportError.h"

using namespace wrenly;

namespace {

TEST(ErrorDescription, PlatformErrorsSayWhatFailedWithThePlatformsOwnText) {
  struct Row {
    const char* name;
    std::function<void()> raise;
    std::string whatFailed;
    std::string description;
  };
  const Row rows[] = {
      {"soundServerRefusesTheMicrophone", [] { throw pulseError(PA_ERR_ACCESS, "open"); }, "",
       "音訊伺服器未能開啟麥克風（Access denied）。"},
      {"busyDeviceWhileStarting",
       [] { throw std::system_error(std::make_error_code(std::errc::device_or_resource_busy)); },
       Messages::microphoneNotStarted, "麥克風無法啟動（Device or resource busy）。"},
      {"replyNotJson", [] { boost::json::parse("<html>"); }, "",
       "未能讀取語音服務的回應（syntax error）。"},
      {"connectionDropped", [] { throw TransportError(CURLE_RECV_ERROR); }, "",
       "網絡連線發生錯誤（Failure when receiving data from the peer）。"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::exception_ptr error;
    try {
      row.raise();
    } catch (...) {
      error = std::current_exception();
    }
    EXPECT_EQ(describe(error, row.whatFailed), row.description);
  }
}

}  // namespace
