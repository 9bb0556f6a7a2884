#include "platform/linux/LinuxDesktop.h"

#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/pulse/SoundServerProbe.h"
#include "platform/linux/secret/SecretServiceProbe.h"

namespace wrenly {

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
  ports.accessibility = desktop->accessibility_.get();
  desktop->platform_->attach(ports);
  return Opened(std::move(desktop));
}

LinuxDesktop::LinuxDesktop(std::unique_ptr<LinuxPlatform> platform)
    : platform_(std::move(platform)) {}

LinuxDesktop::~LinuxDesktop() {
  closeSession();
}

void LinuxDesktop::closeSession() {
  platform_->attach(DesktopPorts{});
  display_.reset();
  accessibility_.reset();
}

}  // namespace wrenly
