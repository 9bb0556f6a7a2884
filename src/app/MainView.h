#pragma once

#include <QWidget>

#include "app/ShellSnapshot.h"

class QCheckBox;
class QLabel;
class QMessageBox;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace wrenly {

class HistoryView;
class LevelBars;
class MenuActions;
class OwnWordsView;

// The view once set-up is done: status, record button, trigger key, live recognition, account,
// services and permissions, the selected-text help, the last text and the history.
class MainView : public QWidget {
 public:
  MainView(MenuActions& actions, QWidget* parent);

  void render(const ShellSnapshot& snapshot);
  // The delete confirmation, while it is open.
  QMessageBox* deleteDialog() const { return deleteDialog_; }

 private:
  void confirmDelete();

  MenuActions& actions_;
  QLabel* message_;
  QLabel* checkingKeyring_;
  LevelBars* meter_;
  QPushButton* record_;
  QLabel* autoPasteOff_;
  QLabel* triggerKey_;
  QRadioButton* modes_[2];
  QLabel* holdUnavailable_;
  QCheckBox* streaming_;
  QPushButton* retry_;
  QPushButton* signIn_;
  QLabel* privacy_;
  QPushButton* signOut_;
  QPushButton* deleteAccount_;
  QLabel* activationFeedback_;
  QToolButton* servicesToggle_;
  QWidget* services_;
  QToolButton* ownWordsToggle_;
  OwnWordsView* ownWords_;
  QWidget* lastTextBlock_;
  QLabel* lastText_;
  HistoryView* history_;
  QLabel* engine_;
  QMessageBox* deleteDialog_ = nullptr;
};

}  // namespace wrenly
