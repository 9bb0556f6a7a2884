#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QToolButton>

namespace wrenly {

// Small builders shared by the views. Every label shows plain text: what the controller or the
// service wrote is never read as markup.
enum class TextRole { body, heading, callout, caption, warning };

QLabel* makeLabel(const QString& text, TextRole role, QWidget* parent);
QPushButton* makeButton(const QString& text, QWidget* parent);
// A folded section's heading, made before its body so that it comes first in the tab order;
// foldBody() then has it show or hide `body` (hidden at first), its arrow down while open.
QToolButton* makeFoldToggle(const QString& text, QWidget* parent);
void foldBody(QToolButton* toggle, QWidget* body);
// The one button a view leads with, filled with the accent colour.
void makeProminent(QPushButton* button);
QString qs(const std::string& text);
QString qs(const char* text);

}  // namespace wrenly
