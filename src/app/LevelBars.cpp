#include "app/LevelBars.h"

#include <QPainter>
#include <QPainterPath>

namespace wrenly {

LevelBars::LevelBars(int barCount, double barWidth, double spacing, QColor colour, QWidget* parent)
    : QWidget(parent),
      barWidth_(barWidth),
      spacing_(spacing),
      colour_(colour),
      heights_(static_cast<std::size_t>(barCount), 0.0) {}

void LevelBars::setHeights(std::vector<double> heights) {
  if (heights == heights_) return;
  heights_ = std::move(heights);
  update();
}

void LevelBars::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour_);
  const double count = static_cast<double>(heights_.size());
  const double total = count * barWidth_ + (count - 1) * spacing_;
  double x = (width() - total) / 2.0;
  const double middle = height() / 2.0;
  for (double barHeight : heights_) {
    const QRectF bar(x, middle - barHeight / 2.0, barWidth_, barHeight);
    painter.drawRoundedRect(bar, barWidth_ / 2.0, barWidth_ / 2.0);
    x += barWidth_ + spacing_;
  }
}

}  // namespace wrenly
