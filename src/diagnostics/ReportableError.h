#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace wrenly {

// Base of every error this program raises itself. The diagnostics log renders any of them by
// `diagnosticCode()` and the interface shows `localizedDescription()`, without either knowing
// the concrete type.
class ReportableError : public std::exception {
 public:
  virtual std::string diagnosticCode() const = 0;
  virtual std::string localizedDescription() const = 0;
  const char* what() const noexcept override;

 private:
  mutable std::string whatText_;
};

// An error enumeration without payloads: its code in the log is "code=" and the position of the
// case counted from 0.
template <typename Enum>
class EnumeratedError : public ReportableError {
 public:
  explicit EnumeratedError(Enum value) : value_(value) {}
  Enum value() const { return value_; }
  std::string diagnosticCode() const override {
    return "code=" + std::to_string(static_cast<int>(value_));
  }
  friend bool operator==(const EnumeratedError& a, const EnumeratedError& b) {
    return a.value_ == b.value_;
  }

 private:
  Enum value_;
};

// The text the interface shows for any error: our own errors' descriptions, a cancellation
// notice, and for a platform error what failed, in the interface's language, followed by the
// platform's own text. `whatFailed` names the step that failed when the caller knows it better
// than the error's category does (a refused microphone reads as a plain system error).
std::string localizedDescriptionOf(const std::exception& error, std::string_view whatFailed = {});
std::string localizedDescriptionOf(const std::exception_ptr& error,
                                   std::string_view whatFailed = {});

}  // namespace wrenly
