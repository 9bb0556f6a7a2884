#include "app/SelectionHelp.h"

#include <QFrame>
#include <QVBoxLayout>

#include "app/WidgetParts.h"
#include "messages/ShellMessages.h"

namespace wrenly {

SelectionHelp::SelectionHelp(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(6);
  auto* divider = new QFrame(this);
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  layout->addWidget(divider);
  layout->addWidget(makeLabel(qs(ShellMessages::selectionHelpTitle), TextRole::heading, this));
  // Word-wrapped with a height that follows its width, so the text is never cut.
  layout->addWidget(makeLabel(qs(ShellMessages::selectionHelpBody), TextRole::caption, this));
}

}  // namespace wrenly
