#pragma once

#include <QColor>
#include <QWidget>
#include <vector>

namespace wrenly {

// A row of capsule bars centred in the widget, drawn at the heights it is given. It keeps no
// state besides the heights: it moves only when a new level arrives.
class LevelBars : public QWidget {
 public:
  LevelBars(int barCount, double barWidth, double spacing, QColor colour,
            QWidget* parent = nullptr);

  void setHeights(std::vector<double> heights);
  const std::vector<double>& heights() const { return heights_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double barWidth_;
  double spacing_;
  QColor colour_;
  std::vector<double> heights_;
};

}  // namespace wrenly
