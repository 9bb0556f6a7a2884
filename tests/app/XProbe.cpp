#include "XProbe.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace wrenly {
namespace {

Display* asDisplay(void* display) {
  return static_cast<Display*>(display);
}

}  // namespace

std::unique_ptr<XProbe> XProbe::open() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return nullptr;
  return std::unique_ptr<XProbe>(new XProbe(display));
}

XProbe::~XProbe() {
  XCloseDisplay(asDisplay(display_));
}

std::uint64_t XProbe::activeWindow() {
  Display* display = asDisplay(display_);
  Atom type;
  int format;
  unsigned long count, rest;
  unsigned char* data = nullptr;
  Window active = None;
  if (XGetWindowProperty(display, DefaultRootWindow(display),
                         XInternAtom(display, "_NET_ACTIVE_WINDOW", False), 0, 1, False, XA_WINDOW,
                         &type, &format, &count, &rest, &data) == Success &&
      data && count == 1) {
    active = *reinterpret_cast<Window*>(data);
  }
  if (data) XFree(data);
  return active;
}

std::uint64_t XProbe::inputFocus() {
  Window focus;
  int revert;
  XGetInputFocus(asDisplay(display_), &focus, &revert);
  return focus;
}

bool XProbe::isViewable(std::uint64_t window) {
  XWindowAttributes attributes;
  return XGetWindowAttributes(asDisplay(display_), window, &attributes) &&
         attributes.map_state == IsViewable;
}

void XProbe::click(int x, int y) {
  Display* display = asDisplay(display_);
  XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
}

}  // namespace wrenly
