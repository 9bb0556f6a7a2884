#include "controller/ControllerContext.h"

#include <boost/asio/co_spawn.hpp>
#include <stdexcept>

#include "base/Required.h"
#include "delivery/TextDelivery.h"
#include "diagnostics/Diagnostics.h"
#include "platform/KeyMonitor.h"
#include "platform/Settings.h"
#include "service/SpeechService.h"

namespace wrenly {

ControllerContext::ControllerContext(ControllerDependencies dependencies)
    : ports(std::move(dependencies)),
      mainLoop(ports.platform.mainLoop),
      clock(required(ports.platform.clock, "DictationController", "clock")),
      settings(required(ports.platform.settings, "DictationController", "settings")),
      workspace(required(ports.platform.workspace, "DictationController", "workspace")),
      overlay(required(ports.platform.overlay, "DictationController", "overlay")) {
  if (!mainLoop) throw std::invalid_argument("DictationController needs the main loop");
  state.permissionGranted = ports.insertion.hasAccessibility();
  state.setupComplete = settings.boolValue(StoredNames::setupCompleteKey).value_or(false);
  state.streamingConsent = settings.boolValue(StoredNames::streamingConsentKey).value_or(false);
  state.localService = ports.service.isLocal();
  state.triggerKeyTitle = std::string(TriggerKey(TriggerKey::rightAlt).title());
  state.triggerMode = triggerModeFromRawValue(settings.stringValue(StoredNames::triggerModeKey));
  state.holdAvailable = !ports.platform.keyMonitor || ports.platform.keyMonitor->seesPresses();
  published_ = state;
}

void ControllerContext::spawn(asio::awaitable<void> task) {
  asio::co_spawn(mainLoop, std::move(task), [](std::exception_ptr error) {
    // Every task handles its own failures; anything left is a fault worth a log line.
    if (error) Diagnostics::record("controller task failed " + Diagnostics::errorCode(error));
  });
}

void ControllerContext::publish() {
  if (state == published_) return;
  published_ = state;
  observers.call(published_);
}

}  // namespace wrenly
