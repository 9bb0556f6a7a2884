#include "platform/linux/x11/WindowProperties.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <memory>

namespace wrenly {

namespace {

struct XFreer {
  void operator()(void* data) const {
    if (data) XFree(data);
  }
};

// Enough for any window list or hint; a longer property is cut, not failed.
constexpr long maximumLongs = 1 << 16;

}  // namespace

std::vector<unsigned long> WindowProperties::longs(Window window, Atom property, Atom type) const {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* raw = nullptr;
  int status = XGetWindowProperty(display_, window, property, 0, maximumLongs, False, type,
                                  &actualType, &format, &count, &remaining, &raw);
  std::unique_ptr<unsigned char, XFreer> data(raw);
  if (status != Success || format != 32 || !data) return {};
  // Xlib hands 32-bit items over as longs.
  auto* items = reinterpret_cast<unsigned long*>(data.get());
  return {items, items + count};
}

std::optional<std::string> WindowProperties::text(Window window, Atom property) const {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* raw = nullptr;
  int status = XGetWindowProperty(display_, window, property, 0, 1024, False, AnyPropertyType,
                                  &actualType, &format, &count, &remaining, &raw);
  std::unique_ptr<unsigned char, XFreer> data(raw);
  if (status != Success || format != 8 || !data || count == 0) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(data.get()), count);
}

std::optional<Window> WindowProperties::activeWindow() const {
  auto windows = longs(root(), atoms_.activeWindow, XA_WINDOW);
  if (windows.empty() || windows.front() == None) return std::nullopt;
  return windows.front();
}

std::optional<int32_t> WindowProperties::processID(Window window) const {
  auto values = longs(window, atoms_.wmPid, XA_CARDINAL);
  if (values.empty() || values.front() == 0) return std::nullopt;
  return static_cast<int32_t>(values.front());
}

std::optional<std::string> WindowProperties::windowClass(Window window) const {
  // WM_CLASS is "instance\0class\0".
  auto value = text(window, XA_WM_CLASS);
  if (!value) return std::nullopt;
  auto split = value->find('\0');
  if (split == std::string::npos) return std::nullopt;
  std::string windowClass = value->substr(split + 1);
  if (auto end = windowClass.find('\0'); end != std::string::npos) windowClass.resize(end);
  if (windowClass.empty()) return std::nullopt;
  return windowClass;
}

std::optional<std::string> WindowProperties::applicationID(Window window) const {
  if (auto id = text(window, atoms_.gtkApplicationID); id && !id->empty()) return id;
  return windowClass(window);
}

std::vector<Window> WindowProperties::stackingFrontFirst() const {
  auto windows = longs(root(), atoms_.clientListStacking, XA_WINDOW);
  std::reverse(windows.begin(), windows.end());  // the hint lists bottom to top
  return {windows.begin(), windows.end()};
}

bool WindowProperties::isNormalShownWindow(Window window) const {
  auto types = longs(window, atoms_.wmWindowType, XA_ATOM);
  if (!types.empty() && types.front() != atoms_.typeNormal && types.front() != atoms_.typeDialog) {
    return false;
  }
  auto states = longs(window, atoms_.wmState, XA_ATOM);
  if (std::find(states.begin(), states.end(), atoms_.stateHidden) != states.end()) return false;
  XWindowAttributes attributes{};
  // Unmapped windows (GDK's leader window, withdrawn windows) are not on screen.
  return XGetWindowAttributes(display_, window, &attributes) && attributes.map_state != IsUnmapped;
}

}  // namespace wrenly
