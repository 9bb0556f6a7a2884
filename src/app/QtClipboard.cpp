#include "app/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QThread>

namespace wrenly {
namespace {

bool writeOnGuiThread(const QString& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  clipboard->setText(text, QClipboard::Clipboard);
  // Reading back answers from our own copy while we own the clipboard: a mismatch means the
  // desktop did not take it.
  return clipboard->text(QClipboard::Clipboard) == text;
}

}  // namespace

bool QtClipboard::writeString(const std::string& text) {
  QObject* target = guiObject_.data();
  if (!target) return false;
  const QString value = QString::fromStdString(text);
  if (QThread::currentThread() == target->thread()) return writeOnGuiThread(value);
  bool written = false;
  const bool delivered = QMetaObject::invokeMethod(
      target, [&] { written = writeOnGuiThread(value); }, Qt::BlockingQueuedConnection);
  return delivered && written;
}

}  // namespace wrenly
