#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QStringList>
#include <QWidget>

namespace wrenly {

// One application for the whole test program, drawing off screen. It is left to the end of the
// process: Qt's own clean-up at static destruction time would run after the plugins unloaded.
inline QApplication& testApplication() {
  static int argc = 1;
  static char name[] = "app_view_tests";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

// The texts of the labels and buttons a user can see under `root`, in creation order.
inline QStringList visibleTexts(const QWidget& root) {
  QStringList texts;
  for (QWidget* child : root.findChildren<QWidget*>()) {
    if (!child->isVisibleTo(&root)) continue;
    if (auto* label = qobject_cast<QLabel*>(child); label && !label->text().isEmpty()) {
      texts << label->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(child)) {
      texts << button->text();
    }
  }
  return texts;
}

// The visible button with exactly this text, or null.
inline QAbstractButton* visibleButton(const QWidget& root, const QString& text) {
  for (QAbstractButton* button : root.findChildren<QAbstractButton*>()) {
    if (button->isVisibleTo(&root) && button->text() == text) return button;
  }
  return nullptr;
}

}  // namespace wrenly
