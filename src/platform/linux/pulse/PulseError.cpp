#include "platform/linux/pulse/PulseError.h"

#include <pulse/error.h>

namespace wrenly {

namespace {

class PulseCategory final : public std::error_category {
 public:
  const char* name() const noexcept override { return "pulse"; }
  std::string message(int code) const override {
    const char* text = pa_strerror(code);
    return text ? text : "unknown sound server error";
  }
};

}  // namespace

const std::error_category& pulseCategory() {
  static const PulseCategory category;
  return category;
}

std::system_error pulseError(int code, const std::string& what) {
  return std::system_error(code, pulseCategory(), what);
}

}  // namespace wrenly
