#pragma once

#include <QWidget>
#include <memory>

#include "app/ShellSnapshot.h"

class QLabel;
class QLineEdit;
class QListWidget;

namespace wrenly {

class MenuActions;

// The own words in the main view: the list (replacements, then words), a line to add an entry,
// removal of the selected one, and import and export of the words file's plain text. The list
// itself lives in the controller; this view sends every change there as an action.
class OwnWordsView : public QWidget {
 public:
  OwnWordsView(MenuActions& actions, QWidget* parent);

  void render(const ShellSnapshot& snapshot);

 private:
  void addTyped();
  void importFile();
  void exportFile();

  MenuActions& actions_;
  QListWidget* list_;
  QLineEdit* entry_;
  QLabel* note_;      // what the controller did with the last change
  QLabel* fileNote_;  // what became of the last import or export, on this side
  std::shared_ptr<const OwnWords> shown_;
};

}  // namespace wrenly
