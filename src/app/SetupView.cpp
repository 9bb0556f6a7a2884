#include "app/SetupView.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include "app/MenuActions.h"
#include "app/WidgetParts.h"
#include "messages/ShellMessages.h"

namespace wrenly {
namespace {

namespace text = ShellMessages;

// The round light of the detection row: green while a key was just seen.
class DetectionLight : public QWidget {
 public:
  explicit DetectionLight(QWidget* parent) : QWidget(parent) { setFixedSize(14, 14); }
  void setLit(bool lit) {
    if (lit == property("lit").toBool()) return;
    setProperty("lit", lit);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(property("lit").toBool() ? QColor(0x34, 0xc7, 0x59)
                                              : QColor(0xb0, 0xb0, 0xb0));
    painter.drawEllipse(QRectF(1, 1, 12, 12));
  }
};

}  // namespace

SetupView::SetupView(MenuActions& actions, QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(10);

  step1_ = new QWidget(this);
  auto* one = new QVBoxLayout(step1_);
  one->setContentsMargins(0, 0, 0, 0);
  one->setSpacing(10);
  one->addWidget(makeLabel(qs(text::step1Heading), TextRole::heading, step1_));
  one->addWidget(makeLabel(qs(text::step1Why), TextRole::body, step1_));
  one->addWidget(makeLabel(qs(text::step1How), TextRole::body, step1_));
  auto* openSettings = makeButton(qs(text::openAccessibilitySettings), step1_);
  auto* recheck = makeButton(qs(text::recheckPermission), step1_);
  one->addWidget(openSettings);
  one->addWidget(recheck);
  permissionFeedback_ = makeLabel({}, TextRole::caption, step1_);
  one->addWidget(permissionFeedback_);
  one->addWidget(makeLabel(qs(text::waitingForPermission), TextRole::caption, step1_));
  layout->addWidget(step1_);

  step2_ = new QWidget(this);
  auto* two = new QVBoxLayout(step2_);
  two->setContentsMargins(0, 0, 0, 0);
  two->setSpacing(10);
  two->addWidget(makeLabel(qs(text::step2Heading), TextRole::heading, step2_));
  two->addWidget(makeLabel(qs(text::step2Suggestion), TextRole::body, step2_));
  two->addWidget(makeLabel(qs(text::step2Alternatives), TextRole::body, step2_));
  auto* row = new QHBoxLayout;
  detectionLight_ = new DetectionLight(step2_);
  detection_ = makeLabel({}, TextRole::body, step2_);
  row->addWidget(detectionLight_);
  row->addWidget(detection_, 1);
  two->addLayout(row);
  keyDetectionOff_ = makeLabel(qs(text::keyDetectionOff), TextRole::warning, step2_);
  restartDetection_ = makeButton(qs(text::restartKeyDetection), step2_);
  confirm_ = makeButton(qs(text::confirmTriggerKey), step2_);
  makeProminent(confirm_);
  sessionNote_ = makeLabel({}, TextRole::caption, step2_);
  two->addWidget(sessionNote_);
  two->addWidget(keyDetectionOff_);
  two->addWidget(restartDetection_);
  two->addWidget(confirm_);
  two->addWidget(makeLabel(qs(text::loneTapOnly), TextRole::caption, step2_));
  two->addWidget(makeLabel(qs(text::holdToTalkHint), TextRole::caption, step2_));
  layout->addWidget(step2_);

  auto* quit = makeButton(qs(text::quit), this);
  layout->addWidget(quit);
  layout->addStretch(1);

  connect(openSettings, &QPushButton::clicked, this,
          [&actions] { actions.openAccessibilitySettings(); });
  connect(recheck, &QPushButton::clicked, this, [&actions] { actions.recheckPermission(); });
  connect(restartDetection_, &QPushButton::clicked, this,
          [&actions] { actions.recheckPermission(); });
  connect(confirm_, &QPushButton::clicked, this,
          [&actions] { actions.confirmDetectedTriggerKey(); });
  connect(quit, &QPushButton::clicked, this, [&actions] { actions.quit(); });
}

void SetupView::render(const ShellSnapshot& snapshot) {
  const DictationState& state = snapshot.voice;
  step1_->setVisible(!state.permissionGranted);
  step2_->setVisible(state.permissionGranted);

  permissionFeedback_->setText(qs(state.permissionFeedback));
  permissionFeedback_->setVisible(!state.permissionFeedback.empty());

  static_cast<DetectionLight*>(detectionLight_)->setLit(state.detectionLight);
  detection_->setText(
      state.detectedTriggerKey
          ? qs(text::detectedPrefix) +
                QString::fromUtf8(state.detectedTriggerKey->title().data(),
                                  static_cast<qsizetype>(state.detectedTriggerKey->title().size()))
          : qs(text::waitingForKey));
  sessionNote_->setText(qs(snapshot.sessionNote));
  sessionNote_->setVisible(!snapshot.sessionNote.empty());
  keyDetectionOff_->setVisible(!state.triggerKeyAvailable);
  restartDetection_->setVisible(!state.triggerKeyAvailable);
  confirm_->setEnabled(state.detectedTriggerKey.has_value());
}

}  // namespace wrenly
