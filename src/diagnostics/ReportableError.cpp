#include "diagnostics/ReportableError.h"

#include <boost/asio/error.hpp>
#include <boost/system/system_error.hpp>
#include <system_error>

#include "messages/Messages.h"

namespace wrenly {

const char* ReportableError::what() const noexcept {
  try {
    whatText_ = diagnosticCode();
  } catch (...) {
    return "error";
  }
  return whatText_.c_str();
}

namespace {

// What failed, judged by the library that reported it; a plain system error says too little.
std::string_view subjectOf(std::string_view category) {
  if (category == "pulse") return Messages::soundServerFailed;
  if (category.starts_with("boost.json")) return Messages::replyUnreadable;
  if (category.starts_with("asio.ssl")) return Messages::secureConnectionFailed;
  if (category.starts_with("asio.") || category.starts_with("beast.")) {
    return Messages::connectionFailed;
  }
  return Messages::systemFailed;
}

std::string describe(std::string_view category, const std::string& platformText,
                     std::string_view whatFailed) {
  return Messages::platformFailure(whatFailed.empty() ? subjectOf(category) : whatFailed,
                                   platformText);
}

}  // namespace

std::string localizedDescriptionOf(const std::exception& error, std::string_view whatFailed) {
  if (auto* own = dynamic_cast<const ReportableError*>(&error)) return own->localizedDescription();
  if (auto* system = dynamic_cast<const boost::system::system_error*>(&error)) {
    if (system->code() == boost::asio::error::operation_aborted) return Messages::cancelled;
    return describe(system->code().category().name(), system->code().message(), whatFailed);
  }
  if (auto* system = dynamic_cast<const std::system_error*>(&error)) {
    return describe(system->code().category().name(), system->code().message(), whatFailed);
  }
  if (!whatFailed.empty()) return Messages::platformFailure(whatFailed, {});
  return Messages::unexpectedError;
}

std::string localizedDescriptionOf(const std::exception_ptr& error, std::string_view whatFailed) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return localizedDescriptionOf(e, whatFailed);
  } catch (...) {
  }
  return Messages::unexpectedError;
}

}  // namespace wrenly
