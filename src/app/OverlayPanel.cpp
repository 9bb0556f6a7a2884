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
constexpr int dotWidth = 10;
constexpr int waveformWidth = 44;
constexpr int spacing = 10;  // between the dot, the text and the right-hand element
constexpr int lineSpacing = 3;
constexpr int titlePixels = 13;
constexpr int guidancePixels = 10;

QFont sized(QFont font, int pixels, QFont::Weight weight = QFont::Normal) {
  font.setPixelSize(pixels);
  font.setWeight(weight);
  return font;
}

// Where the title and the line under it go: centred as a block in the text column.
struct TextLines {
  QRect title;
  QRect below;
};

TextLines textLines(const QFont& base, bool rightSide) {
  const int left = padding + dotWidth + spacing;
  const int right =
      rightSide ? panelWidth - padding - waveformWidth - spacing : panelWidth - padding;
  const int titleHeight = QFontMetrics(sized(base, titlePixels, QFont::DemiBold)).height();
  const int belowHeight = QFontMetrics(sized(base, guidancePixels)).height();
  const int top = (panelHeight - titleHeight - lineSpacing - belowHeight) / 2;
  return {QRect(left, top, right - left, titleHeight),
          QRect(left, top + titleHeight + lineSpacing, right - left, belowHeight)};
}

// One line of the words so far: the newest stay in view, older ones give way at the left.
QString newestWords(const std::string& words, const QFontMetrics& metrics, int width) {
  QString line = qs(words).simplified();
  return metrics.elidedText(line, Qt::ElideLeft, width);
}

}  // namespace

OverlayContent::OverlayContent(QWidget* parent) : QWidget(parent) {
  setFixedSize(panelWidth, panelHeight);
  setAccessibleName(qs(text::overlayIdle));
  // A label of its own, so assistive technologies can read the words as they change.
  words_ = new QLabel(this);
  words_->setFont(sized(font(), guidancePixels));
  words_->setTextFormat(Qt::PlainText);
  words_->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
  words_->setFocusPolicy(Qt::NoFocus);
  words_->setAccessibleDescription(qs(text::overlayWordsDescription));
  words_->setGeometry(textLines(font(), true).below);
  words_->hide();
  waveform_ = new LevelBars(11, 2.5, 2, Qt::white, this);
  waveform_->setGeometry(panelWidth - padding - waveformWidth, (panelHeight - 28) / 2,
                         waveformWidth, 28);
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
  const bool wordsShown = recording && !state.interimText.empty();
  if (wordsShown) {
    words_->setText(newestWords(state.interimText, words_->fontMetrics(), words_->width()));
    // Renamed only on a change: every renaming is announced, and the level redraws often.
    if (const QString all = qs(state.interimText); words_->accessibleName() != all) {
      words_->setAccessibleName(all);
    }
  }
  words_->setVisible(wordsShown);
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

  // Text column: title 13 px semibold, guidance 10 px at 75 % white, one line each; the words
  // so far take the guidance's place in full white.
  const TextLines lines = textLines(font(), phase_ != DictationPhase::idle);
  const QFont titleFont = sized(font(), titlePixels, QFont::DemiBold);
  const QFont guidanceFont = sized(font(), guidancePixels);
  painter.setPen(Qt::white);
  painter.setFont(titleFont);
  painter.drawText(lines.title, Qt::AlignLeft | Qt::AlignVCenter,
                   QFontMetrics(titleFont).elidedText(title_, Qt::ElideRight, lines.title.width()));
  if (words_->isVisibleTo(this)) return;
  QColor guidanceColour(Qt::white);
  guidanceColour.setAlphaF(0.75);
  painter.setPen(guidanceColour);
  painter.setFont(guidanceFont);
  painter.drawText(
      lines.below, Qt::AlignLeft | Qt::AlignVCenter,
      QFontMetrics(guidanceFont).elidedText(guidance_, Qt::ElideRight, lines.below.width()));
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
