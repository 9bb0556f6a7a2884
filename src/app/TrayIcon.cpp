#include "app/TrayIcon.h"

#include <QCursor>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QVBoxLayout>

#include "app/WidgetParts.h"
#include "app/WindowContent.h"
#include "messages/ShellMessages.h"

namespace wrenly {
namespace {

// The desktop theme's icon when it has one, else the one shipped with the program.
QIcon themedIcon(const QString& name, const QString& bundled) {
  return QIcon::fromTheme(name, QIcon(bundled));
}

}  // namespace

TrayIcon::TrayIcon(MenuActions& actions) : popup_(std::make_unique<QWidget>(nullptr, Qt::Popup)) {
  auto* layout = new QVBoxLayout(popup_.get());
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new WindowContent(actions, 340, popup_.get());
  layout->addWidget(view_);
  popup_->setFixedWidth(340);
  popup_->setMinimumHeight(420);
  popup_->resize(340, 560);
  icon_.setToolTip(qs(ShellMessages::appName));
  QObject::connect(&icon_, &QSystemTrayIcon::activated, popup_.get(),
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context) {
                       openPopup();
                     }
                   });
  render(ShellSnapshot{});
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::render(const ShellSnapshot& snapshot) {
  const bool recording = snapshot.voice.phase == DictationPhase::recording;
  const QString name = QString::fromLatin1(recording ? waveformIcon : microphoneIcon);
  if (name != iconName_) {
    iconName_ = name;
    icon_.setIcon(recording ? themedIcon(name, QStringLiteral(":/icons/wrenly-waveform-48.png"))
                            : themedIcon(name, QStringLiteral(":/icons/wrenly-microphone-48.png")));
  }
  view_->render(snapshot);
}

void TrayIcon::openPopup() {
  const QRect anchor = icon_.geometry();
  const QPoint at = anchor.isValid() ? anchor.bottomLeft() : QCursor::pos();
  QScreen* screen = QGuiApplication::screenAt(at);
  if (!screen) screen = QGuiApplication::primaryScreen();
  QPoint place = at;
  if (screen) {
    const QRect area = screen->availableGeometry();
    const QSize size = popup_->size();
    // Below the icon when the panel is at the top, above it otherwise; always on screen.
    if (anchor.isValid() && anchor.center().y() > area.center().y()) {
      place.setY(anchor.top() - size.height());
    }
    place.setX(std::clamp(place.x(), area.left(), area.right() + 1 - size.width()));
    place.setY(std::clamp(place.y(), area.top(), area.bottom() + 1 - size.height()));
  }
  popup_->move(place);
  popup_->show();
  popup_->raise();
  popup_->activateWindow();
}

}  // namespace wrenly
