#include "platform/linux/LinuxDesktop.h"

#include <cstdlib>
#include <string_view>

#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/atspi/AtspiWorkspace.h"
#include "platform/linux/evdev/EvdevKeyMonitor.h"
#include "platform/linux/pulse/SoundServerProbe.h"
#include "platform/linux/secret/SecretServiceProbe.h"
#include "platform/linux/wayland/PortalChordRegistrar.h"
#include "platform/linux/wayland/SwayBindingKeyMonitor.h"
#include "platform/linux/wayland/WaylandDesktop.h"

namespace wrenly {

namespace {

bool waylandSession() {
  const char* display = std::getenv("WAYLAND_DISPLAY");
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return (display && *display) || (type && std::string_view(type) == "wayland");
}

}  // namespace

LinuxDesktop::Opened LinuxDesktop::open(LinuxDesktopOptions options) {
  LinuxPlatform::Made made = LinuxPlatform::make(std::move(options.platform));
  if (!made) return made.error();
  if (auto problem = secretServiceProblem()) {
    return DesktopError{DesktopMissing::keyring, std::move(*problem)};
  }
  if (auto problem = soundServerProblem(options.soundServerWait)) {
    return DesktopError{DesktopMissing::soundServer, std::move(*problem)};
  }
  std::unique_ptr<LinuxDesktop> desktop(new LinuxDesktop(std::move(made).value()));
  // The display server's adapters refuse to open without key access, so it is there for the
  // accessibility service whenever they open.
  desktop->accessibility_ =
      std::make_unique<AtspiAccessibility>(AtspiAccessibility::KeyAccess::available);
  X11Desktop::Opened display = X11Desktop::open(desktop->platform_->mainLoop().get_executor(),
                                                options.display, *desktop->accessibility_);
  if (!display) return display.error();
  desktop->display_ = std::move(display).value();
  DesktopPorts ports = desktop->display_->ports();
  // Under Wayland the X server (XWayland) sees keys only while one of its own windows has focus;
  // the kernel's devices see them all, when the user may read them.
  desktop->wayland_ = waylandSession();
  if (desktop->wayland_ && EvdevKeyMonitor::survey().keyboards > 0) {
    X11Desktop& x11 = *desktop->display_;
    desktop->keyboards_ = std::make_unique<EvdevKeyMonitor>(
        desktop->platform_->mainLoop().get_executor(), [&x11] { return x11.ownWindowFocused(); });
    ports.keyMonitor = desktop->keyboards_.get();
  } else if (const char* sway = std::getenv("SWAYSOCK"); desktop->wayland_ && sway && *sway) {
    // Without the devices, sway's own key bindings still tell lone taps of the modifier keys;
    // the X server's monitor keeps the keys of XWayland windows.
    desktop->bindings_ = SwayBindingKeyMonitor::open(desktop->platform_->mainLoop().get_executor(),
                                                     sway, ports.keyMonitor);
    if (desktop->bindings_) ports.keyMonitor = desktop->bindings_.get();
  }
  // XTest keys reach XWayland's windows only, and the X server names no native window as
  // active: what the compositor offers for those serves all windows.
  if (desktop->wayland_) {
    X11Desktop& x11 = *desktop->display_;
    desktop->compositor_ = WaylandDesktop::open(
        desktop->platform_->mainLoop().get_executor(), options.display.ownApplicationID,
        [&x11](int32_t processID) { return x11.isTerminal(processID); });
    if (WaylandDesktop* compositor = desktop->compositor_.get()) {
      if (compositor->keyInjector()) ports.keyInjector = compositor->keyInjector();
      if (compositor->workspace()) ports.workspace = compositor->workspace();
      if (compositor->windows()) ports.windows = compositor->windows();
    }
    // Compositors that tell clients nothing of other windows (GNOME's, KDE's): the X server
    // names no native window, the accessibility bus names them all.
    if (!desktop->compositor_ || !desktop->compositor_->workspace()) {
      desktop->atspiWorkspace_ = std::make_unique<AtspiWorkspace>(
          desktop->platform_->mainLoop().get_executor(), desktop->accessibility_->homeThread(),
          options.display.ownApplicationID);
      desktop->atspiWindows_ = std::make_unique<AtspiWindowList>(*desktop->atspiWorkspace_);
      ports.workspace = desktop->atspiWorkspace_.get();
      ports.windows = desktop->atspiWindows_.get();
    }
    // No client may grab keys on Wayland; the desktop may bind the chord for the program.
    desktop->chords_ = PortalChordRegistrar::open(ports.chords);
    if (desktop->chords_) ports.chords = desktop->chords_.get();
  }
  ports.accessibility = desktop->accessibility_.get();
  desktop->platform_->attach(ports);
  return Opened(std::move(desktop));
}

LinuxDesktop::LinuxDesktop(std::unique_ptr<LinuxPlatform> platform)
    : platform_(std::move(platform)) {}

LinuxDesktop::~LinuxDesktop() {
  closeSession();
}

bool LinuxDesktop::compositorPastes() const {
  return compositor_ && compositor_->keyInjector();
}

bool LinuxDesktop::portalPastes() const {
  return compositor_ && compositor_->pastesThroughPortal();
}

Clipboard* LinuxDesktop::compositorClipboard() const {
  return compositor_ ? compositor_->clipboard() : nullptr;
}

void LinuxDesktop::closeSession() {
  platform_->attach(DesktopPorts{});
  keyboards_.reset();
  bindings_.reset();
  chords_.reset();
  compositor_.reset();
  atspiWindows_.reset();
  atspiWorkspace_.reset();
  display_.reset();
  accessibility_.reset();
}

}  // namespace wrenly
