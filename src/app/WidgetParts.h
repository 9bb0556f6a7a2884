#pragma once

#include <QLabel>
#include <QPushButton>
#include <QString>

namespace wrenly {

// Small builders shared by the views. Every label shows plain text: what the controller or the
// service wrote is never read as markup.
enum class TextRole { body, heading, callout, caption, warning };

QLabel* makeLabel(const QString& text, TextRole role, QWidget* parent);
QPushButton* makeButton(const QString& text, QWidget* parent);
QString qs(const std::string& text);
QString qs(const char* text);

}  // namespace wrenly
