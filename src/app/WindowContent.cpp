#include "app/WindowContent.h"

#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/MainView.h"
#include "app/SetupView.h"
#include "app/WidgetParts.h"
#include "messages/ShellMessages.h"

namespace wrenly {
namespace {

// What a screen reader sees of a scroll area: the viewport and the scroll bars shown now, as Qt
// has it. Qt 6.4's own interface hands out a child by index without checking the index; a reader
// that counted the children just before a scroll bar hid (the view grows and shrinks with every
// dictation) asks for one past the end and gets a wild pointer, which ends the program.
class ScrollAreaAccessible final : public QAccessibleWidget {
 public:
  explicit ScrollAreaAccessible(QAbstractScrollArea* area)
      : QAccessibleWidget(area, QAccessible::Client) {}

  int childCount() const override { return static_cast<int>(shownChildren().size()); }
  QAccessibleInterface* child(int index) const override {
    const QWidgetList children = shownChildren();
    if (index < 0 || index >= children.size()) return nullptr;
    return QAccessible::queryAccessibleInterface(children.at(index));
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (!child || !child->object() || !child->object()->isWidgetType()) return -1;
    return static_cast<int>(shownChildren().indexOf(static_cast<QWidget*>(child->object())));
  }

 private:
  QWidgetList shownChildren() const {
    QWidgetList children;
    auto* area = static_cast<QAbstractScrollArea*>(widget());
    if (!area) return children;
    if (area->viewport()) children << area->viewport();
    // A bar lives in a container of its own: the container is the child.
    for (QScrollBar* bar : {area->horizontalScrollBar(), area->verticalScrollBar()}) {
      if (bar && bar->isVisible()) children << bar->parentWidget();
    }
    if (QWidget* corner = area->cornerWidget(); corner && corner->isVisible()) children << corner;
    return children;
  }
};

// Consulted before Qt's own factory. Both names: an area asked for while it is still being
// built reports its base class.
QAccessibleInterface* scrollAreaAccessible(const QString& className, QObject* object) {
  if (className != QLatin1String("QScrollArea") &&
      className != QLatin1String("QAbstractScrollArea")) {
    return nullptr;
  }
  auto* area = qobject_cast<QAbstractScrollArea*>(object);
  return area ? new ScrollAreaAccessible(area) : nullptr;
}

}  // namespace

WindowContent::WindowContent(MenuActions& actions, int width, QWidget* parent) : QWidget(parent) {
  // Before the scroll area below exists, so that no interface of Qt's is cached for it.
  QAccessible::installFactory(scrollAreaAccessible);
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
