#include "app/OverlayPanel.h"

#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTimer>

#include "app/LevelBars.h"
#include "app/MeterGeometry.h"
#include "app/WidgetParts.h"
#include "messages/ShellMessages.h"

namespace wrenly {

namespace text = ShellMessages;

// A small indeterminate spinner. Its timer runs only while it is visible, so a hidden overlay
// costs nothing.
class Spinner : public QWidget {
 public:
  explicit Spinner(QWidget* parent) : QWidget(parent), timer_(this) {
    setFixedSize(18, 18);
    timer_.setInterval(80);
    connect(&timer_, &QTimer::timeout, this, [this] {
      step_ = (step_ + 1) % 12;
      update();
    });
  }

 protected:
  void showEvent(QShowEvent*) override { timer_.start(); }
  void hideEvent(QHideEvent*) override { timer_.stop(); }
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(width() / 2.0, height() / 2.0);
    for (int i = 0; i < 12; ++i) {
      QColor colour(Qt::white);
      colour.setAlphaF(0.2 + 0.8 * ((12 + i - step_) % 12) / 11.0);
      painter.setPen(QPen(colour, 1.8, Qt::SolidLine, Qt::RoundCap));
      painter.drawLine(QPointF(0, -4.5), QPointF(0, -8));
      painter.rotate(30);
    }
  }

 private:
  QTimer timer_;
  int step_ = 0;
};

namespace {

constexpr int panelWidth = 246;
constexpr int panelHeight = 64;
constexpr int padding = 14;
constexpr int bottomMargin = 16;

}  // namespace

OverlayContent::OverlayContent(QWidget* parent) : QWidget(parent) {
  setFixedSize(panelWidth, panelHeight);
  setAccessibleName(qs(text::overlayIdle));
  waveform_ = new LevelBars(11, 2.5, 2, Qt::white, this);
  waveform_->setGeometry(panelWidth - padding - 44, (panelHeight - 28) / 2, 44, 28);
  waveform_->setAccessibleName(qs(text::waveformLabel));
  spinner_ = new Spinner(this);
  spinner_->move(panelWidth - padding - spinner_->width(), (panelHeight - spinner_->height()) / 2);
  render(ShellSnapshot{});
}

bool OverlayContent::spinnerShown() const {
  return spinner_->isVisibleTo(this);
}

void OverlayContent::render(const ShellSnapshot& snapshot) {
  const DictationState& state = snapshot.voice;
  const QString key = qs(state.triggerKeyTitle);
  phase_ = state.phase;
  switch (state.phase) {
    case DictationPhase::recording:
      title_ = qs(text::overlayRecording);
      guidance_ =
          qs(state.isEditingSelection
                 ? (state.heldToTalk ? text::overlayEditReleasePrefix : text::overlayEditPrefix)
                 : (state.heldToTalk ? text::overlayReleasePrefix : text::overlayStopPrefix)) +
          key + qs(text::overlayStopSuffix);
      break;
    case DictationPhase::processing:
      title_ = qs(text::overlayProcessing);
      guidance_ = qs(text::overlayWait);
      break;
    case DictationPhase::starting:
      title_ = qs(text::overlayStarting);
      guidance_ = qs(text::overlayWait);
      break;
    case DictationPhase::idle:
      title_ = qs(text::overlayIdle);
      guidance_ = qs(state.overlayNotice);
      break;
  }
  const bool recording = state.phase == DictationPhase::recording;
  waveform_->setVisible(recording);
  const auto heights = overlayWaveformBarHeights(recording ? state.level : 0.0f);
  waveform_->setHeights({heights.begin(), heights.end()});
  spinner_->setVisible(state.phase == DictationPhase::starting ||
                       state.phase == DictationPhase::processing);
  setAccessibleDescription(title_ + QStringLiteral(" ") + guidance_);
  update();
}

void OverlayContent::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);

  QPainterPath panel;
  panel.addRoundedRect(QRectF(rect()), 18, 18);
  painter.fillPath(panel, QColor(0, 0, 0, static_cast<int>(0.9 * 255)));

  // Status dot with a glow of its own colour, stronger while recording.
  const bool recording = phase_ == DictationPhase::recording;
  const QColor dot = recording ? QColor(0xff, 0x3b, 0x30) : QColor(0xff, 0x95, 0x00);
  const QPointF centre(padding + 5, height() / 2.0);
  const double glow = recording ? 7 : 2;
  QRadialGradient halo(centre, 5 + glow);
  QColor haloColour = dot;
  haloColour.setAlphaF(0.55);
  halo.setColorAt(0.45, haloColour);
  haloColour.setAlphaF(0);
  halo.setColorAt(1, haloColour);
  painter.setPen(Qt::NoPen);
  painter.setBrush(halo);
  painter.drawEllipse(centre, 5 + glow, 5 + glow);
  painter.setBrush(dot);
  painter.drawEllipse(centre, 5, 5);

  // Text column: title 13 pt semibold, guidance 10 pt at 75 % white, one line each.
  const int textLeft = padding + 10 + 10;
  const bool rightSide = phase_ != DictationPhase::idle;
  const int textRight = rightSide ? width() - padding - 44 - 10 : width() - padding;
  const int textWidth = textRight - textLeft;
  QFont titleFont = font();
  titleFont.setPixelSize(13);
  titleFont.setWeight(QFont::DemiBold);
  QFont guidanceFont = font();
  guidanceFont.setPixelSize(10);
  const QFontMetrics titleMetrics(titleFont);
  const QFontMetrics guidanceMetrics(guidanceFont);
  const int spacing = 3;
  const int block = titleMetrics.height() + spacing + guidanceMetrics.height();
  const int top = (height() - block) / 2;
  painter.setPen(Qt::white);
  painter.setFont(titleFont);
  painter.drawText(QRect(textLeft, top, textWidth, titleMetrics.height()),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   titleMetrics.elidedText(title_, Qt::ElideRight, textWidth));
  QColor guidanceColour(Qt::white);
  guidanceColour.setAlphaF(0.75);
  painter.setPen(guidanceColour);
  painter.setFont(guidanceFont);
  painter.drawText(
      QRect(textLeft, top + titleMetrics.height() + spacing, textWidth, guidanceMetrics.height()),
      Qt::AlignLeft | Qt::AlignVCenter,
      guidanceMetrics.elidedText(guidance_, Qt::ElideRight, textWidth));
}

OverlayPanel::OverlayPanel()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                           Qt::X11BypassWindowManagerHint) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TranslucentBackground);
  setFocusPolicy(Qt::NoFocus);
  setWindowTitle(qs(text::appName));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new OverlayContent(this);
  layout->addWidget(view_);
  setFixedSize(panelWidth, panelHeight);
  // Without a compositor the transparent corners would show black: cut them off.
  QPainterPath outline;
  outline.addRoundedRect(QRectF(0, 0, panelWidth, panelHeight), 18, 18);
  setMask(QRegion(outline.toFillPolygon().toPolygon()));
}

void OverlayPanel::showAtBottomCentre() {
  QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (screen) {
    const QRect area = screen->availableGeometry();
    move(area.center().x() + 1 - width() / 2, area.bottom() + 1 - bottomMargin - height());
  }
  show();
  raise();
}

}  // namespace wrenly
