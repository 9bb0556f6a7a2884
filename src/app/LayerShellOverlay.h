#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "platform/Overlay.h"
#include "platform/linux/wayland/LayerShellSurface.h"

namespace wrenly {

class OverlayPanel;

// The overlay port on Wayland compositors with a layer shell: the same panel, drawn by Qt into
// the shared memory of a surface in the compositor's overlay layer instead of a window of its
// own. That surface stays above fullscreen windows, never takes the keyboard and lets every click
// through, none of which a toolkit window can promise there.
//
// The panel is shown to Qt without a window (so its spinner turns and its accessible text stays
// readable) and follows the snapshots as before; each repaint Qt asks for is drawn once, into
// the surface's next buffer.
class LayerShellOverlay final : public QObject, public Overlay {
 public:
  // None when the session's compositor offers no layer shell. Made on the GUI thread, before the
  // panel is first shown.
  static std::unique_ptr<LayerShellOverlay> open(OverlayPanel& panel);
  ~LayerShellOverlay() override;

  // Main loop.
  void show(const OverlaySnapshot& content) override;
  void hide() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  LayerShellOverlay(OverlayPanel& panel, std::unique_ptr<LayerShellSurface> surface);
  void draw();

  OverlayPanel& panel_;
  std::unique_ptr<LayerShellSurface> surface_;
  QSocketNotifier connection_;
  bool drawing_ = false;
};

}  // namespace wrenly
