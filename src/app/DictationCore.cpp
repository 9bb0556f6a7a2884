#include "app/DictationCore.h"

#include "controller/LiveStreamingSession.h"

namespace wrenly {

DictationCore::DictationCore(const Platform& platform)
    : platform_(platform),
      service_(platform_),
      insertion_(platform_),
      recorder_(*platform_.audioInput, platform_.background),
      browserSignIn_(service_, *platform_.browser, *platform_.clock),
      controller_(
          DictationController::make({platform_, service_, insertion_, recorder_, browserSignIn_,
                                     liveStreamingSessions(platform_, service_)})) {}

DictationCore::~DictationCore() = default;

}  // namespace wrenly
