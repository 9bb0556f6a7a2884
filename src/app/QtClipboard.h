#pragma once

#include <QObject>
#include <QPointer>

#include "platform/Clipboard.h"

namespace wrenly {

// The clipboard through Qt. The GUI thread owns the selection and keeps answering other
// programs' requests after the paste keystroke; a write from the main loop waits for the GUI
// thread to take the text.
class QtClipboard final : public Clipboard {
 public:
  // `guiObject` lives on the GUI thread (the application object will do).
  explicit QtClipboard(QObject* guiObject) : guiObject_(guiObject) {}

  bool writeString(const std::string& text) override;

 private:
  QPointer<QObject> guiObject_;
};

}  // namespace wrenly
