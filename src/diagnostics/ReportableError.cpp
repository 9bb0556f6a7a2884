#include "diagnostics/ReportableError.h"

#include <boost/asio/error.hpp>
#include <system_error>

#include <boost/system/system_error.hpp>

namespace wrenly {

const char* ReportableError::what() const noexcept {
  try {
    whatText_ = diagnosticCode();
  } catch (...) {
    return "error";
  }
  return whatText_.c_str();
}

std::string localizedDescriptionOf(const std::exception& error) {
  if (auto* own = dynamic_cast<const ReportableError*>(&error)) return own->localizedDescription();
  if (auto* system = dynamic_cast<const boost::system::system_error*>(&error)) {
    if (system->code() == boost::asio::error::operation_aborted) return "操作已取消。";
  }
  return "發生未預期的錯誤，請稍後重試。";
}

std::string localizedDescriptionOf(const std::exception_ptr& error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return localizedDescriptionOf(e);
  } catch (...) {
  }
  return "發生未預期的錯誤，請稍後重試。";
}

}  // namespace wrenly
