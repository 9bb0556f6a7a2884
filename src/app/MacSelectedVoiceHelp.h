#pragma once

#include <QWidget>

namespace wrenly {

// Explains voice editing of selected text; shown in the main view.
class MacSelectedVoiceHelp : public QWidget {
 public:
  explicit MacSelectedVoiceHelp(QWidget* parent);
};

}  // namespace wrenly
