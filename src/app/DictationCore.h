#pragma once

#include <memory>

#include "audio/MacAudioRecorder.h"
#include "controller/MacVoiceController.h"
#include "delivery/MacTextInsertion.h"
#include "platform/Platform.h"
#include "service/MacAppleLogin.h"
#include "service/MacVoiceService.h"

namespace wrenly {

// The core objects of the program over one platform: service client, insertion, recorder,
// sign-in and the controller that drives them. Made, used and destroyed on the main loop.
class DictationCore {
 public:
  // Every port the controller needs must be in `platform`.
  explicit DictationCore(const Platform& platform);
  ~DictationCore();
  DictationCore(const DictationCore&) = delete;
  DictationCore& operator=(const DictationCore&) = delete;

  MacVoiceController& controller() const { return *controller_; }
  std::weak_ptr<MacVoiceController> weakController() const { return controller_; }
  MacTextInsertion& insertion() { return insertion_; }
  const Platform& platform() const { return platform_; }

 private:
  Platform platform_;
  MacVoiceService service_;
  MacTextInsertion insertion_;
  MacAudioRecorder recorder_;
  MacAppleLogin appleLogin_;
  std::shared_ptr<MacVoiceController> controller_;
};

}  // namespace wrenly
