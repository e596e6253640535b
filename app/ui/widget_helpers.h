#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <string>
#include <string_view>

namespace kestrel {

// Records reach Qt as Latin-1, one character a byte; user texts (aliases, rule names, file
// names) are UTF-8.
inline QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), qsizetype(text.size()));
}
inline QString Utf8(std::string_view text) {
  return QString::fromUtf8(text.data(), qsizetype(text.size()));
}
inline std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

// A label that shows its text as plain text (never markup), known by its name.
inline QLabel* NewLabel(const char* name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setTextFormat(Qt::PlainText);
  return label;
}

inline QCheckBox* NewCheckBox(const char* name, const QString& text, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(name);
  return box;
}

// A button known by its name that Enter elsewhere in the window does not press.
inline QPushButton* NewButton(const char* name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

}  // namespace kestrel
