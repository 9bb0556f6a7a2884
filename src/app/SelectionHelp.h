#pragma once

#include <QWidget>

namespace wrenly {

// Explains voice editing of selected text; shown in the main view.
class SelectionHelp : public QWidget {
 public:
  explicit SelectionHelp(QWidget* parent);
};

}  // namespace wrenly
