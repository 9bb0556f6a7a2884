#include "app/LayerShellOverlay.h"

#include <QEvent>
#include <QImage>

#include "app/OverlayPanel.h"

namespace wrenly {

std::unique_ptr<LayerShellOverlay> LayerShellOverlay::open(OverlayPanel& panel) {
  auto surface = LayerShellSurface::open({panel.width(), panel.height(), panel.bottomMargin});
  if (!surface) return nullptr;
  return std::unique_ptr<LayerShellOverlay>(new LayerShellOverlay(panel, std::move(surface)));
}

LayerShellOverlay::LayerShellOverlay(OverlayPanel& panel,
                                     std::unique_ptr<LayerShellSurface> surface)
    : panel_(panel),
      surface_(std::move(surface)),
      connection_(surface_->connectionFd(), QSocketNotifier::Read) {
  panel_.setAttribute(Qt::WA_DontShowOnScreen);
  panel_.installEventFilter(this);
  for (QWidget* part : panel_.findChildren<QWidget*>()) part->installEventFilter(this);
  surface_->onReady([this] { draw(); });
  QObject::connect(&connection_, &QSocketNotifier::activated, this, [this] {
    // The compositor is gone: the panel stays hidden from here on.
    if (!surface_->dispatch()) connection_.setEnabled(false);
  });
}

LayerShellOverlay::~LayerShellOverlay() {
  panel_.removeEventFilter(this);
  for (QWidget* part : panel_.findChildren<QWidget*>()) part->removeEventFilter(this);
}

void LayerShellOverlay::show(const OverlaySnapshot&) {
  // The snapshots posted with the state say what to draw; this only brings the panel up.
  QMetaObject::invokeMethod(
      this, [this] { panel_.show(); }, Qt::QueuedConnection);
}

void LayerShellOverlay::hide() {
  QMetaObject::invokeMethod(
      this, [this] { panel_.hide(); }, Qt::QueuedConnection);
}

bool LayerShellOverlay::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::Paint:
      // Qt's own repaints would go to a window nobody sees: only the surface's drawing paints.
      return !drawing_;
    case QEvent::UpdateRequest:
      if (watched == &panel_ && surface_->shown()) draw();
      break;
    case QEvent::Show:
      if (watched == &panel_) surface_->show();
      break;
    case QEvent::Hide:
      if (watched == &panel_) surface_->hide();
      break;
    default:
      break;
  }
  return false;
}

void LayerShellOverlay::draw() {
  uint32_t* pixels = surface_->nextFrame();
  // Every buffer is still on screen: the surface asks again when one comes back.
  if (!pixels) return;
  QImage frame(reinterpret_cast<uchar*>(pixels), panel_.width(), panel_.height(),
               panel_.width() * 4, QImage::Format_ARGB32_Premultiplied);
  frame.fill(Qt::transparent);
  drawing_ = true;
  panel_.QWidget::render(&frame, QPoint(), QRegion(), QWidget::DrawChildren);
  drawing_ = false;
  surface_->present();
}

}  // namespace wrenly
