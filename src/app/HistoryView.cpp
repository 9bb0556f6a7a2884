#include "app/HistoryView.h"

#include <QCheckBox>
#include <QDateTime>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/MenuActions.h"
#include "app/WidgetParts.h"
#include "messages/ShellMessages.h"

namespace wrenly {
namespace {

namespace text = ShellMessages;

// The first line of an entry, cut to what fits a row of the narrower tray popup.
constexpr int firstLineWidth = 250;

QString firstLine(const std::string& said, const QFontMetrics& metrics) {
  const QString line = qs(said).section(QLatin1Char('\n'), 0, 0);
  return metrics.elidedText(line, Qt::ElideRight, firstLineWidth);
}

// "14:32 · mousepad": the date too when it was not today; the application by the last part of
// its reverse-domain id ("org.xfce.mousepad"), which is how its users know it.
QString when(const HistoryEntry& entry) {
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(entry.time.time_since_epoch()).count();
  const QDateTime time = QDateTime::fromSecsSinceEpoch(seconds);
  const bool today = time.date() == QDate::currentDate();
  QString line = time.toString(qs(today ? text::historyTimeFormat : text::historyDateFormat));
  if (!entry.application.empty()) {
    line += qs(text::historyEntrySeparator) + qs(entry.application).section(QLatin1Char('.'), -1);
  }
  return line;
}

}  // namespace

HistoryView::HistoryView(MenuActions& actions, QWidget* parent)
    : QWidget(parent), actions_(actions) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  toggle_ = makeFoldToggle(qs(text::historyTitle), this);
  layout->addWidget(toggle_);
  body_ = new QWidget(this);
  foldBody(toggle_, body_);
  auto* bodyLayout = new QVBoxLayout(body_);
  bodyLayout->setContentsMargins(16, 0, 0, 0);
  empty_ = makeLabel(qs(text::historyEmpty), TextRole::caption, body_);
  rows_ = new QWidget(body_);
  rowsLayout_ = new QVBoxLayout(rows_);
  rowsLayout_->setContentsMargins(0, 0, 0, 0);
  rowsLayout_->setSpacing(8);
  clear_ = makeButton(qs(text::clearHistory), body_);
  onDisk_ = new QCheckBox(qs(text::historyOnDisk), body_);
  bodyLayout->addWidget(empty_);
  bodyLayout->addWidget(rows_);
  bodyLayout->addWidget(clear_);
  bodyLayout->addWidget(onDisk_);
  bodyLayout->addWidget(makeLabel(qs(text::historyCaption), TextRole::caption, body_));
  layout->addWidget(body_);

  connect(clear_, &QPushButton::clicked, this, [this] { actions_.clearHistory(); });
  // As with live recognition: render() blocks the signal, so only the user's change goes back.
  connect(onDisk_, &QCheckBox::toggled, this,
          [this](bool keep) { actions_.keepHistoryOnDisk(keep); });
  showEntries({});
}

void HistoryView::render(const DictationState& state) {
  {
    const QSignalBlocker quiet(onDisk_);
    onDisk_->setChecked(state.historyKeptOnDisk);
  }
  if (state.history != shown_) showEntries(state.history);
  // A paste waits for the dictation or paste under way.
  for (QPushButton* paste : pasteButtons_) paste->setEnabled(state.phase == DictationPhase::idle);
}

void HistoryView::showEntries(const std::vector<HistoryEntry>& entries) {
  // Later: a row's own button may be what led here.
  for (QWidget* row : rows_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    row->hide();
    row->deleteLater();
  }
  pasteButtons_.clear();
  for (const HistoryEntry& entry : entries) rowsLayout_->addWidget(makeRow(entry));
  shown_ = entries;
  empty_->setVisible(entries.empty());
  clear_->setEnabled(!entries.empty());
}

QWidget* HistoryView::makeRow(const HistoryEntry& entry) {
  auto* row = new QWidget(rows_);
  auto* layout = new QVBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  auto* said = makeLabel({}, TextRole::body, row);
  said->setWordWrap(false);
  said->setText(firstLine(entry.text, said->fontMetrics()));
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(makeLabel(when(entry), TextRole::caption, row), 1);
  auto* copy = makeButton(qs(text::copyEntry), row);
  auto* paste = makeButton(qs(text::pasteEntry), row);
  // Twenty rows of the same two buttons: a screen reader says which entry each belongs to.
  copy->setAccessibleDescription(said->text());
  paste->setAccessibleDescription(said->text());
  buttons->addWidget(copy);
  buttons->addWidget(paste);
  layout->addWidget(said);
  layout->addLayout(buttons);
  pasteButtons_.push_back(paste);

  const std::uint64_t id = entry.id;
  connect(copy, &QPushButton::clicked, this, [this, id] { actions_.copyHistoryEntry(id); });
  connect(paste, &QPushButton::clicked, this, [this, id] {
    // The tray popup holds the keyboard while open: it must be gone before the paste keys go
    // to the field.
    if (window()->windowType() == Qt::Popup) window()->hide();
    actions_.pasteHistoryEntry(id);
  });
  return row;
}

}  // namespace wrenly
