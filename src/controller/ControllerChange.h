#pragma once

#include "controller/MacVoiceController.h"

namespace wrenly {

// One step of the controller: observers hear of the state once, when the outermost step ends,
// and only when something they can see changed. Never held across a suspension.
class ControllerChange {
 public:
  explicit ControllerChange(MacVoiceController& controller) : controller_(controller) {
    ++controller_.changeDepth_;
  }
  ~ControllerChange() {
    if (--controller_.changeDepth_ == 0) controller_.publish();
  }
  ControllerChange(const ControllerChange&) = delete;
  ControllerChange& operator=(const ControllerChange&) = delete;

 private:
  MacVoiceController& controller_;
};

}  // namespace wrenly
