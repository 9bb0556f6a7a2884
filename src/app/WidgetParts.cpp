#include "app/WidgetParts.h"

#include <QPalette>

namespace wrenly {

QLabel* makeLabel(const QString& text, TextRole role, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  QFont font = label->font();
  QPalette palette = label->palette();
  switch (role) {
    case TextRole::body:
      break;
    case TextRole::heading:
      font.setBold(true);
      font.setPointSizeF(font.pointSizeF() * 1.1);
      break;
    case TextRole::callout:
      font.setPointSizeF(font.pointSizeF() * 1.05);
      break;
    case TextRole::caption:
      font.setPointSizeF(font.pointSizeF() * 0.88);
      palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
      break;
    case TextRole::warning:
      font.setPointSizeF(font.pointSizeF() * 0.88);
      palette.setColor(QPalette::WindowText, QColor(0xd9, 0x6c, 0x00));
      break;
  }
  label->setFont(font);
  label->setPalette(palette);
  return label;
}

QPushButton* makeButton(const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setAutoDefault(false);
  return button;
}

QToolButton* makeFoldToggle(const QString& text, QWidget* parent) {
  auto* toggle = new QToolButton(parent);
  toggle->setText(text);
  toggle->setCheckable(true);
  toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  toggle->setArrowType(Qt::RightArrow);
  toggle->setAutoRaise(true);
  return toggle;
}

void foldBody(QToolButton* toggle, QWidget* body) {
  body->setVisible(false);
  QObject::connect(toggle, &QToolButton::toggled, body, [toggle, body](bool open) {
    body->setVisible(open);
    toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
  });
}

void makeProminent(QPushButton* button) {
  button->setMinimumHeight(32);
  button->setStyleSheet(QStringLiteral(
      "QPushButton { background: #2f6fde; color: white; border: 1px solid #245ec4;"
      " border-radius: 6px; padding: 6px 12px; font-weight: 600; }"
      "QPushButton:hover { background: #3a7bea; }"
      "QPushButton:pressed { background: #245ec4; }"
      "QPushButton:disabled { background: #c9d3e3; color: #f4f6fa; border-color: #c9d3e3; }"));
}

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}
QString qs(const char* text) {
  return QString::fromUtf8(text);
}

}  // namespace wrenly
