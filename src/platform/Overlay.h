#pragma once

namespace wrenly {

class DictationController;

// The small floating panel that shows a running dictation and short notices. It never takes
// focus. Called on the main loop; the adapter reads what to show from the controller's state
// (DictationController::observe) and redraws on every change.
class Overlay {
 public:
  virtual ~Overlay() = default;

  // Shows the panel (or brings it forward and re-centres it when it is already up). The first
  // call binds the panel to `voice`; later calls keep that controller.
  virtual void show(DictationController& voice) = 0;
  // Takes the panel down, if it is up; it can be shown again.
  virtual void hide() = 0;
};

}  // namespace wrenly
