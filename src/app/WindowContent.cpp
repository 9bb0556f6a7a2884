#include "app/WindowContent.h"

#include <QHBoxLayout>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/MainView.h"
#include "app/SetupView.h"
#include "app/WidgetParts.h"
#include "messages/ShellMessages.h"

namespace wrenly {

WindowContent::WindowContent(MenuActions& actions, int width, QWidget* parent) : QWidget(parent) {
  setFixedWidth(width);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(16, 14, 16, 14);
  layout->setSpacing(12);

  auto* header = new QHBoxLayout;
  auto* title = makeLabel(qs(ShellMessages::appName), TextRole::heading, this);
  QFont titleFont = title->font();
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.35);
  title->setFont(titleFont);
  title->setWordWrap(false);
  auto* edition = makeLabel(qs(ShellMessages::edition), TextRole::caption, this);
  edition->setWordWrap(false);
  header->addWidget(title);
  header->addStretch(1);
  header->addWidget(edition);
  layout->addLayout(header);

  setup_ = new SetupView(actions, this);
  layout->addWidget(setup_, 1);

  mainScroll_ = new QScrollArea(this);
  mainScroll_->setWidgetResizable(true);
  mainScroll_->setFrameShape(QFrame::NoFrame);
  mainScroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  main_ = new MainView(actions, mainScroll_);
  mainScroll_->setWidget(main_);
  layout->addWidget(mainScroll_, 1);
}

void WindowContent::render(const ShellSnapshot& snapshot) {
  const bool ready = snapshot.voice.permissionGranted && snapshot.voice.setupComplete;
  setup_->setVisible(!ready);
  mainScroll_->setVisible(ready);
  setup_->render(snapshot);
  main_->render(snapshot);
}

}  // namespace wrenly
