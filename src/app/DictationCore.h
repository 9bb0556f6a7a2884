#pragma once

#include <memory>

#include "audio/Recorder.h"
#include "controller/DictationController.h"
#include "delivery/TextDelivery.h"
#include "platform/Platform.h"
#include "service/BrowserSignIn.h"
#include "service/SpeechServiceClient.h"

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

  DictationController& controller() const { return *controller_; }
  std::weak_ptr<DictationController> weakController() const { return controller_; }
  TextDelivery& insertion() { return insertion_; }
  const Platform& platform() const { return platform_; }

 private:
  Platform platform_;
  SpeechServiceClient service_;
  TextDelivery insertion_;
  Recorder recorder_;
  BrowserSignIn browserSignIn_;
  std::shared_ptr<DictationController> controller_;
};

}  // namespace wrenly
