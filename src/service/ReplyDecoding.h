#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/ReportableError.h"
#include "service/AccountStatus.h"

namespace wrenly {

// Why a reply could not be read as the record it should hold.
enum class ReplyDecodingFailure { notJson, notAnObject, missingMember, wrongType };

// The log's code of each case (EnumeratedError), fixed whatever the order of the cases.
constexpr int logCode(ReplyDecodingFailure value) {
  switch (value) {
    case ReplyDecodingFailure::notJson:
      return 0;
    case ReplyDecodingFailure::notAnObject:
      return 1;
    case ReplyDecodingFailure::missingMember:
      return 2;
    case ReplyDecodingFailure::wrongType:
      return 3;
  }
  return -1;
}

class ReplyDecodingError final : public EnumeratedError<ReplyDecodingFailure> {
 public:
  using EnumeratedError::EnumeratedError;
};

// The trimmed "text" of a recognition or text reply. A body that is not JSON throws the
// parser's error (boost::system::system_error); no usable text throws `emptyTranscript`.
std::string decodeText(std::string_view body);

// The "code" of an error body {"error": {"code": CODE}}, or none.
std::optional<std::string> serviceErrorCode(std::string_view body);

// Whether a service error code is one the client will show and log as such: at most 80
// characters from "abcdefghijklmnopqrstuvwxyz0123456789_" (the empty code is allowed too). The
// one rule for both the request replies and the stream's error messages.
bool isValidServiceCode(std::string_view code);

// Replies of the account calls; other members are ignored. Throw ReplyDecodingError.
AccountStatus decodeAccountStatus(std::string_view body);
// `GET engine`; languages the program does not know are left out.
EngineInfo decodeEngineInfo(std::string_view body);
SignInStart decodeSignInStart(std::string_view body);

}  // namespace wrenly
