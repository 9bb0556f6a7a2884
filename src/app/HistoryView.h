#pragma once

#include <QWidget>
#include <vector>

#include "controller/DictationState.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QToolButton;
class QVBoxLayout;

namespace wrenly {

class MenuActions;

// The last dictations, folded away until the user opens them: each with its time and the
// application it went to, "copy" and "paste again"; the on-disk setting and "clear".
class HistoryView : public QWidget {
 public:
  HistoryView(MenuActions& actions, QWidget* parent);

  void render(const DictationState& state);

 private:
  void showEntries(const std::vector<HistoryEntry>& entries);
  QWidget* makeRow(const HistoryEntry& entry);

  MenuActions& actions_;
  QToolButton* toggle_;
  QWidget* body_;
  QCheckBox* onDisk_;
  QLabel* empty_;
  QWidget* rows_;
  QVBoxLayout* rowsLayout_;
  QPushButton* clear_;
  std::vector<HistoryEntry> shown_;
  std::vector<QPushButton*> pasteButtons_;
};

}  // namespace wrenly
