#pragma once

#include <string>

namespace wrenly {

// What the panel shows at the moment it is shown.
struct OverlaySnapshot {
  enum class Activity { notice, starting, recording, processing };
  Activity activity = Activity::notice;
  std::string notice;           // the short notice, for Activity::notice
  std::string triggerKeyTitle;  // the key that stops the recording
  bool editingSelection = false;

  friend bool operator==(const OverlaySnapshot&, const OverlaySnapshot&) = default;
};

// The small floating panel that shows a running dictation and short notices. It never takes
// focus. Called on the main loop; later changes (the level, the phase) reach the adapter with
// the controller's state snapshots, and it redraws on every change.
class Overlay {
 public:
  virtual ~Overlay() = default;

  // Shows the panel (or brings it forward and re-centres it when it is already up).
  virtual void show(const OverlaySnapshot& content) = 0;
  // Takes the panel down, if it is up; it can be shown again.
  virtual void hide() = 0;
};

}  // namespace wrenly
