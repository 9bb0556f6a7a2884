#include "app/OwnWordsView.h"

#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

#include "app/MenuActions.h"
#include "app/WidgetParts.h"
#include "base/AtomicFile.h"
#include "messages/Messages.h"
#include "messages/ShellMessages.h"
#include "text/OwnWordsText.h"

namespace wrenly {

namespace {

namespace text = ShellMessages;

// Far more than the longest list (400 entries of 60 characters a side) takes.
constexpr qint64 largestImport = 256 * 1024;

}  // namespace

OwnWordsView::OwnWordsView(MenuActions& actions, QWidget* parent)
    : QWidget(parent), actions_(actions) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 0, 0, 0);
  layout->addWidget(makeLabel(qs(text::ownWordsExplanation), TextRole::caption, this));

  list_ = new QListWidget(this);
  list_->setAccessibleName(qs(text::ownWordsList));
  list_->setMinimumHeight(120);
  layout->addWidget(list_);

  auto* entryRow = new QHBoxLayout;
  entry_ = new QLineEdit(this);
  entry_->setAccessibleName(qs(text::ownWordsEntry));
  entry_->setPlaceholderText(qs(text::ownWordsPlaceholder));
  entry_->setMaxLength(200);
  auto* add = makeButton(qs(text::ownWordsAdd), this);
  entryRow->addWidget(entry_, 1);
  entryRow->addWidget(add);
  layout->addLayout(entryRow);

  auto* fileRow = new QHBoxLayout;
  auto* remove = makeButton(qs(text::ownWordsRemove), this);
  auto* import = makeButton(qs(text::ownWordsImport), this);
  auto* exportButton = makeButton(qs(text::ownWordsExport), this);
  fileRow->addWidget(remove);
  fileRow->addStretch(1);
  fileRow->addWidget(import);
  fileRow->addWidget(exportButton);
  layout->addLayout(fileRow);

  layout->addWidget(makeLabel(qs(text::ownWordsFormat), TextRole::caption, this));
  note_ = makeLabel({}, TextRole::caption, this);
  fileNote_ = makeLabel({}, TextRole::caption, this);
  layout->addWidget(note_);
  layout->addWidget(fileNote_);

  connect(add, &QPushButton::clicked, this, [this] { addTyped(); });
  connect(entry_, &QLineEdit::returnPressed, this, [this] { addTyped(); });
  connect(remove, &QPushButton::clicked, this, [this] {
    if (QListWidgetItem* item = list_->currentItem()) {
      actions_.removeOwnWord(item->text().toStdString());
    }
  });
  connect(import, &QPushButton::clicked, this, [this] { importFile(); });
  connect(exportButton, &QPushButton::clicked, this, [this] { exportFile(); });
}

void OwnWordsView::addTyped() {
  const std::string typed = entry_->text().toStdString();
  if (typed.empty()) return;
  actions_.addOwnWords(typed, false);
  // A line the controller cannot read stays for the user to correct.
  if (OwnWordsText::add({}, typed).badLines.empty()) entry_->clear();
}

void OwnWordsView::importFile() {
  const QString path = QFileDialog::getOpenFileName(this, qs(text::ownWordsImportTitle), {},
                                                    qs(text::ownWordsFileFilter));
  if (path.isEmpty()) return;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return fileNote_->setText(qs(text::ownWordsUnreadable));
  if (file.size() > largestImport) return fileNote_->setText(qs(text::ownWordsTooLarge));
  fileNote_->clear();
  actions_.addOwnWords(file.readAll().toStdString(), true);
}

void OwnWordsView::exportFile() {
  const QString path =
      QFileDialog::getSaveFileName(this, qs(text::ownWordsExportTitle),
                                   qs(text::ownWordsExportName), qs(text::ownWordsFileFilter));
  if (path.isEmpty() || !shown_) return;
  const std::string error = writeFileAtomically(
      path.toStdString(), OwnWordsText::write(*shown_, Messages::ownWordsFileHeader));
  fileNote_->setText(error.empty() ? qs(text::ownWordsExported)
                                   : qs(text::ownWordsExportFailed) + qs(error));
}

void OwnWordsView::render(const ShellSnapshot& snapshot) {
  note_->setText(qs(snapshot.voice.ownWordsNote));
  note_->setVisible(!snapshot.voice.ownWordsNote.empty());
  fileNote_->setVisible(!fileNote_->text().isEmpty());
  if (snapshot.voice.ownWords == shown_) return;
  shown_ = snapshot.voice.ownWords;
  const QString selected = list_->currentItem() ? list_->currentItem()->text() : QString();
  list_->clear();
  if (!shown_) return;
  for (const Replacement& replacement : shown_->replacements) {
    list_->addItem(qs(OwnWordsText::line(replacement)));
  }
  for (const std::string& word : shown_->words) list_->addItem(qs(OwnWordsText::line(word)));
  const auto kept = list_->findItems(selected, Qt::MatchExactly);
  if (!selected.isEmpty() && !kept.isEmpty()) list_->setCurrentItem(kept.front());
}

}  // namespace wrenly
