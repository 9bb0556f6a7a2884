#pragma once

#include <cstdint>
#include <memory>

namespace wrenly {

// A second X connection for looking at and poking the desktop from a test, kept apart so Xlib's
// macros never meet Qt's or GoogleTest's headers.
class XProbe {
 public:
  static std::unique_ptr<XProbe> open();
  ~XProbe();

  std::uint64_t activeWindow();
  std::uint64_t inputFocus();
  bool isViewable(std::uint64_t window);
  // Moves the pointer there and clicks the left button, through XTEST.
  void click(int x, int y);

 private:
  explicit XProbe(void* display) : display_(display) {}
  void* display_;
};

}  // namespace wrenly
