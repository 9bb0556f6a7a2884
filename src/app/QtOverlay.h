#pragma once

#include <QPointer>

#include "app/OverlayPanel.h"
#include "platform/Overlay.h"

namespace wrenly {

// The overlay port: called on the main loop, it asks the GUI thread to show or hide the panel.
// What the panel shows arrives with the state snapshots, posted in the same order.
class QtOverlay final : public Overlay {
 public:
  explicit QtOverlay(OverlayPanel& panel) : panel_(&panel) {}

  void show(const OverlaySnapshot& content) override;
  void hide() override;

 private:
  QPointer<OverlayPanel> panel_;
};

}  // namespace wrenly
