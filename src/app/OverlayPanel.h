#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

#include "app/ShellSnapshot.h"

namespace wrenly {

class LevelBars;
class Spinner;

// What the overlay shows: status dot, title, one line of guidance (or, while a live dictation
// records, the words heard so far), and the waveform while recording or a spinner while
// starting or processing.
class OverlayContent : public QWidget {
 public:
  explicit OverlayContent(QWidget* parent);

  void render(const ShellSnapshot& snapshot);
  QString title() const { return title_; }
  QString guidance() const { return guidance_; }
  // The words line as drawn, empty when the guidance shows instead.
  QString words() const { return words_->isVisibleTo(this) ? words_->text() : QString(); }
  const LevelBars& waveform() const { return *waveform_; }
  bool spinnerShown() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  DictationPhase phase_ = DictationPhase::idle;
  QString title_;
  QString guidance_;
  QLabel* words_;
  LevelBars* waveform_;
  Spinner* spinner_;
};

// The floating panel that holds the view: 246 × 64, bottom centre of the screen with the
// pointer, above other windows on every workspace. It never takes focus, never activates the
// program and lets every click through to the window beneath.
class OverlayPanel : public QWidget {
 public:
  static constexpr int bottomMargin = 16;  // above the bottom of the screen's free area

  OverlayPanel();

  void render(const ShellSnapshot& snapshot) { view_->render(snapshot); }
  // Shows the panel, or re-centres and raises it when it is up already.
  void showAtBottomCentre();
  OverlayContent& view() const { return *view_; }

 private:
  OverlayContent* view_;
};

}  // namespace wrenly
