#pragma once

#include <exception>
#include <string>

namespace wrenly {

// Base of every error this program raises itself. It carries the error's identity only: the
// diagnostics log renders it by `diagnosticCode()`, and the user's text for it is chosen by
// describe() (messages/ErrorText.h), so no error type depends on the message catalogue.
class ReportableError : public std::exception {
 public:
  virtual std::string diagnosticCode() const = 0;
  const char* what() const noexcept override {
    try {
      whatText_ = diagnosticCode();
    } catch (...) {
      return "error";
    }
    return whatText_.c_str();
  }

 private:
  mutable std::string whatText_;
};

// An error enumeration without payloads. Its code in the log is "code=" and `logCode(value)`,
// which the enumeration's header defines case by case: reordering the cases never changes what
// an old log line means, and a case without a code does not compile.
template <typename Enum>
class EnumeratedError : public ReportableError {
 public:
  explicit EnumeratedError(Enum value) : value_(value) {}
  Enum value() const { return value_; }
  std::string diagnosticCode() const override { return "code=" + std::to_string(logCode(value_)); }
  friend bool operator==(const EnumeratedError& a, const EnumeratedError& b) {
    return a.value_ == b.value_;
  }

 private:
  Enum value_;
};

}  // namespace wrenly
