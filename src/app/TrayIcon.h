#pragma once

#include <QString>
#include <QSystemTrayIcon>
#include <memory>

#include "app/ShellSnapshot.h"

namespace wrenly {

class WindowContent;
class MenuActions;

// The tray icon (a microphone, a waveform exactly while recording) and the popup it opens: the
// same view as the main window, 340 wide, closed by a click elsewhere.
class TrayIcon {
 public:
  explicit TrayIcon(MenuActions& actions);
  ~TrayIcon();

  void render(const ShellSnapshot& snapshot);
  void show() { icon_.show(); }
  void openPopup();
  // The theme name of the icon shown now.
  QString iconName() const { return iconName_; }
  QWidget& popup() const { return *popup_; }

  static constexpr const char* microphoneIcon = "audio-input-microphone";
  static constexpr const char* waveformIcon = "wrenly-waveform";

 private:
  QSystemTrayIcon icon_;
  std::unique_ptr<QWidget> popup_;
  WindowContent* view_;
  QString iconName_;
};

}  // namespace wrenly
