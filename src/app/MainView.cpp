#include "app/MainView.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/HistoryView.h"
#include "app/LevelBars.h"
#include "app/MenuActions.h"
#include "app/MeterGeometry.h"
#include "app/OwnWordsView.h"
#include "app/SelectionHelp.h"
#include "app/WidgetParts.h"
#include "messages/ShellMessages.h"

namespace wrenly {
namespace {

namespace text = ShellMessages;

QFrame* makeDivider(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

QString engineLine(const EngineInfo& engine) {
  if (engine.builtIn) return qs(text::builtInEngine);
  QStringList names;
  for (VoiceLanguage language : engine.languages) {
    switch (language) {
      case VoiceLanguage::cantonese:
        names << qs(text::cantoneseName);
        break;
      case VoiceLanguage::mandarin:
        names << qs(text::mandarinName);
        break;
      case VoiceLanguage::english:
        names << qs(text::englishName);
        break;
      case VoiceLanguage::automatic:
        break;
    }
  }
  return qs(text::otherEnginePrefix) + names.join(qs(text::languageSeparator));
}

}  // namespace

MainView::MainView(MenuActions& actions, QWidget* parent) : QWidget(parent), actions_(actions) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(10);

  message_ = makeLabel({}, TextRole::callout, this);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  checkingKeyring_ = makeLabel(qs(text::checkingKeyring), TextRole::caption, this);
  meter_ = new LevelBars(15, 3, 4, palette().color(QPalette::Highlight), this);
  meter_->setFixedHeight(34);
  meter_->setAccessibleName(qs(text::meterLabel));
  record_ = makeButton(qs(text::startDictation), this);
  makeProminent(record_);
  layout->addWidget(message_);
  layout->addWidget(checkingKeyring_);
  layout->addWidget(meter_);
  layout->addWidget(record_);
  layout->addWidget(makeLabel(qs(text::howToDictate), TextRole::caption, this));
  autoPasteOff_ = makeLabel(qs(text::autoPasteOff), TextRole::warning, this);
  layout->addWidget(autoPasteOff_);

  auto* keyRow = new QHBoxLayout;
  triggerKey_ = makeLabel({}, TextRole::body, this);
  triggerKey_->setWordWrap(false);
  auto* resetKey = makeButton(qs(text::resetTriggerKey), this);
  keyRow->addWidget(triggerKey_);
  keyRow->addStretch(1);
  keyRow->addWidget(resetKey);
  layout->addLayout(keyRow);
  auto* modeRow = new QHBoxLayout;
  modeRow->addWidget(makeLabel(qs(text::triggerModeLabel), TextRole::body, this));
  for (TriggerMode mode : triggerModes) {
    auto* button = new QRadioButton(qs(std::string(title(mode))), this);
    modes_[static_cast<int>(mode)] = button;
    modeRow->addWidget(button);
    // toggled, as with live recognition below: a change through the accessibility toolkit
    // counts too, and render() blocks the signal.
    connect(button, &QRadioButton::toggled, this, [this, mode](bool checked) {
      if (checked) actions_.setTriggerMode(mode);
    });
  }
  modeRow->addStretch(1);
  layout->addLayout(modeRow);
  holdUnavailable_ = makeLabel(qs(text::holdUnavailable), TextRole::caption, this);
  layout->addWidget(holdUnavailable_);

  layout->addWidget(makeDivider(this));
  streaming_ = new QCheckBox(qs(text::liveRecognition), this);
  layout->addWidget(streaming_);
  layout->addWidget(makeLabel(qs(text::liveRecognitionCaption), TextRole::caption, this));
  retry_ = makeButton(qs(text::retryLastRecording), this);
  layout->addWidget(retry_);
  layout->addWidget(makeLabel(qs(text::languageCaption), TextRole::caption, this));

  signIn_ = makeButton(qs(text::signIn), this);
  privacy_ = new QLabel(this);
  privacy_->setTextFormat(Qt::RichText);  // our own constant text, a link and nothing else
  privacy_->setText(
      QStringLiteral("<a href=\"privacy\">%1</a>").arg(qs(text::privacy).toHtmlEscaped()));
  signOut_ = makeButton(qs(text::signOut), this);
  deleteAccount_ = makeButton(qs(text::deleteAccount), this);
  {
    QPalette destructive = deleteAccount_->palette();
    destructive.setColor(QPalette::ButtonText, QColor(0xc6, 0x28, 0x28));
    deleteAccount_->setPalette(destructive);
  }
  activationFeedback_ = makeLabel({}, TextRole::caption, this);
  layout->addWidget(signIn_);
  layout->addWidget(privacy_);
  layout->addWidget(signOut_);
  layout->addWidget(deleteAccount_);
  layout->addWidget(activationFeedback_);

  servicesToggle_ = makeFoldToggle(qs(text::servicesAndPermissions), this);
  services_ = new QWidget(this);
  auto* servicesLayout = new QVBoxLayout(services_);
  servicesLayout->setContentsMargins(16, 0, 0, 0);
  servicesLayout->addWidget(makeLabel(qs(text::servicesExplanation), TextRole::body, services_));
  engine_ = makeLabel({}, TextRole::caption, services_);
  servicesLayout->addWidget(engine_);
  auto* requestAccessibility = makeButton(qs(text::requestAccessibility), services_);
  auto* showDiagnostics = makeButton(qs(text::showDiagnostics), services_);
  servicesLayout->addWidget(requestAccessibility);
  servicesLayout->addWidget(showDiagnostics);
  servicesLayout->addWidget(makeLabel(qs(text::diagnosticsCaption), TextRole::caption, services_));
  foldBody(servicesToggle_, services_);
  layout->addWidget(servicesToggle_);
  layout->addWidget(services_);

  ownWordsToggle_ = makeFoldToggle(qs(text::ownWords), this);
  ownWords_ = new OwnWordsView(actions_, this);
  foldBody(ownWordsToggle_, ownWords_);
  layout->addWidget(ownWordsToggle_);
  layout->addWidget(ownWords_);

  layout->addWidget(new SelectionHelp(this));

  lastTextBlock_ = new QWidget(this);
  auto* lastLayout = new QVBoxLayout(lastTextBlock_);
  lastLayout->setContentsMargins(0, 0, 0, 0);
  lastText_ = makeLabel({}, TextRole::body, lastTextBlock_);
  lastText_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  auto* copy = makeButton(qs(text::copyLastText), lastTextBlock_);
  lastLayout->addWidget(lastText_);
  lastLayout->addWidget(copy);
  layout->addWidget(lastTextBlock_);
  history_ = new HistoryView(actions_, this);
  layout->addWidget(history_);

  auto* quit = makeButton(qs(text::quit), this);
  layout->addWidget(quit);
  layout->addStretch(1);

  connect(record_, &QPushButton::clicked, this, [this] { actions_.toggle(); });
  connect(resetKey, &QPushButton::clicked, this, [this] { actions_.resetTriggerKeySetup(); });
  // toggled, so that a change made through the accessibility toolkit counts too; render()
  // blocks the signal, so only the user's own change is sent back.
  connect(streaming_, &QCheckBox::toggled, this,
          [this](bool checked) { actions_.setStreamingConsent(checked); });
  connect(retry_, &QPushButton::clicked, this, [this] { actions_.retryLastRecording(); });
  connect(signIn_, &QPushButton::clicked, this, [this] { actions_.signIn(); });
  connect(privacy_, &QLabel::linkActivated, this, [this] { actions_.openPrivacyPage(); });
  connect(signOut_, &QPushButton::clicked, this, [this] { actions_.signOut(); });
  connect(deleteAccount_, &QPushButton::clicked, this, [this] { confirmDelete(); });
  connect(requestAccessibility, &QPushButton::clicked, this,
          [this] { actions_.requestAccessibility(); });
  connect(showDiagnostics, &QPushButton::clicked, this, [this] { actions_.showDiagnostics(); });
  connect(copy, &QPushButton::clicked, this, [this] { actions_.copyLastText(); });
  connect(quit, &QPushButton::clicked, this, [this] { actions_.quit(); });
}

void MainView::confirmDelete() {
  if (deleteDialog_) return;
  deleteDialog_ = new QMessageBox(QMessageBox::Warning, qs(text::deleteTitle),
                                  qs(text::deleteExplanation), QMessageBox::NoButton, this);
  deleteDialog_->setTextFormat(Qt::PlainText);
  auto* confirm = deleteDialog_->addButton(qs(text::deleteConfirm), QMessageBox::DestructiveRole);
  auto* cancel = deleteDialog_->addButton(qs(text::deleteCancel), QMessageBox::RejectRole);
  deleteDialog_->setDefaultButton(cancel);
  deleteDialog_->setAttribute(Qt::WA_DeleteOnClose);
  connect(deleteDialog_, &QMessageBox::buttonClicked, this,
          [this, confirm](QAbstractButton* button) {
            if (button == confirm) actions_.removeAccess();
          });
  connect(deleteDialog_, &QObject::destroyed, this, [this] { deleteDialog_ = nullptr; });
  deleteDialog_->open();
}

void MainView::render(const ShellSnapshot& snapshot) {
  const DictationState& state = snapshot.voice;
  const bool idle = state.phase == DictationPhase::idle;
  const bool recording = state.phase == DictationPhase::recording;

  message_->setText(qs(state.message));
  checkingKeyring_->setVisible(!state.serviceStatusLoaded);
  meter_->setVisible(recording);
  if (recording) {
    const auto heights = windowMeterBarHeights(state.level);
    meter_->setHeights({heights.begin(), heights.end()});
  }
  record_->setText(qs(recording ? text::finishRecording : text::startDictation));
  record_->setEnabled(state.phase != DictationPhase::starting &&
                      state.phase != DictationPhase::processing);
  autoPasteOff_->setVisible(!snapshot.hasAccessibility);
  triggerKey_->setText(qs(text::triggerKeyLabel) + qs(state.triggerKeyTitle));
  for (TriggerMode mode : triggerModes) {
    QRadioButton* button = modes_[static_cast<int>(mode)];
    const QSignalBlocker quiet(button);
    button->setChecked(mode == state.triggerMode);
  }
  modes_[static_cast<int>(TriggerMode::hold)]->setEnabled(state.holdAvailable);
  holdUnavailable_->setVisible(!state.holdAvailable);

  {
    const QSignalBlocker quiet(streaming_);
    streaming_->setChecked(state.streamingConsent);
  }
  streaming_->setEnabled(idle);
  retry_->setVisible(state.hasRetryRecording);
  retry_->setEnabled(idle);

  const bool busy = state.activationInProgress || !idle;
  signIn_->setVisible(!state.accessActive);
  privacy_->setVisible(!state.accessActive);
  signIn_->setText(qs(state.activationInProgress ? text::signingIn
                      : state.localService       ? text::signInToService
                                                 : text::signIn));
  signOut_->setText(qs(state.localService ? text::signOutOfService : text::signOut));
  signIn_->setEnabled(!busy);
  signOut_->setVisible(state.accessActive);
  deleteAccount_->setVisible(state.accessActive);
  deleteAccount_->setEnabled(!busy);
  activationFeedback_->setText(qs(state.activationFeedback));
  activationFeedback_->setVisible(!state.activationFeedback.empty());

  engine_->setVisible(state.engine.has_value());
  if (state.engine) engine_->setText(engineLine(*state.engine));

  ownWords_->render(snapshot);

  lastTextBlock_->setVisible(!state.lastText.empty());
  lastText_->setText(qs(state.lastText));
  history_->render(state);
}

}  // namespace wrenly
