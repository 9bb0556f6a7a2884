#include "app/MainWindow.h"

#include <QVBoxLayout>

#include "app/WidgetParts.h"
#include "app/WindowContent.h"
#include "messages/ShellMessages.h"

namespace wrenly {

MainWindow::MainWindow(MenuActions& actions) {
  setObjectName(QStringLiteral("main"));
  setWindowTitle(qs(ShellMessages::appName));
  setWindowIcon(
      QIcon::fromTheme(QStringLiteral("wrenly"), QIcon(QStringLiteral(":/icons/wrenly-256.png"))));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new WindowContent(actions, 460, this);
  layout->addWidget(view_);
  setMinimumSize(460, 480);
  setMaximumWidth(460);
  resize(460, 520);
}

void MainWindow::render(const ShellSnapshot& snapshot) {
  view_->render(snapshot);
}

void MainWindow::bringForward() {
  if (isMinimized()) showNormal();
  show();
  raise();
  activateWindow();
}

}  // namespace wrenly
