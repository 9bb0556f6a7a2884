#include "app/QtOverlay.h"

namespace wrenly {

void QtOverlay::show(const OverlaySnapshot&) {
  // The snapshots posted with the state say what to draw; this only brings the panel up.
  QPointer<OverlayPanel> panel = panel_;
  if (!panel) return;
  QMetaObject::invokeMethod(
      panel.data(),
      [panel] {
        if (panel) panel->showAtBottomCentre();
      },
      Qt::QueuedConnection);
}

void QtOverlay::hide() {
  QPointer<OverlayPanel> panel = panel_;
  if (!panel) return;
  QMetaObject::invokeMethod(
      panel.data(),
      [panel] {
        if (panel) panel->hide();
      },
      Qt::QueuedConnection);
}

}  // namespace wrenly
