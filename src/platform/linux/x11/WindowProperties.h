#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/x11/EwmhAtoms.h"

namespace wrenly {

// Reads of other clients' window properties. A window may vanish at any time: every read gives
// an empty answer then, never an error.
class WindowProperties {
 public:
  explicit WindowProperties(Display* display) : display_(display), atoms_(display) {}

  Display* display() const { return display_; }
  const EwmhAtoms& atoms() const { return atoms_; }
  Window root() const { return DefaultRootWindow(display_); }

  // A 32-bit list property (WINDOW, CARDINAL, ATOM) of `type` (AnyPropertyType: any).
  std::vector<unsigned long> longs(Window window, Atom property, Atom type) const;
  std::optional<std::string> text(Window window, Atom property) const;

  // The root's active window; none for None.
  std::optional<Window> activeWindow() const;
  std::optional<int32_t> processID(Window window) const;
  // The application's id: GTK's application id, else the class part of WM_CLASS.
  std::optional<std::string> applicationID(Window window) const;
  // WM_CLASS's class part.
  std::optional<std::string> windowClass(Window window) const;
  // Managed windows, front first.
  std::vector<Window> stackingFrontFirst() const;
  // An ordinary window or dialog (or one without a type) that is not minimised.
  bool isNormalShownWindow(Window window) const;

 private:
  Display* display_;
  EwmhAtoms atoms_;
};

}  // namespace wrenly
