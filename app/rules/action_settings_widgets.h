#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QComboBox;
class QDialog;
class QHBoxLayout;
class QRadioButton;
class QWidget;

namespace kestrel {

// Pieces the three action settings dialogs share.

QRadioButton* NewOption(const char* name, const QString& text, QWidget* parent);

// The OK (`OKButton`, the default button, calls `ok`) and Cancel (`CancelButton`, rejects) row,
// right-aligned.
QHBoxLayout* OkCancelRow(QDialog* dialog, std::function<void()> ok);

// The Verb, Occurence and Character lists that say where the text of a message begins.
struct SentenceLists {
  explicit SentenceLists(QWidget* parent);
  // Values a drop-down list lacks select no entry there.
  void Load(const std::string& verb, int occurrence, const std::string& character);
  void Store(std::string& verb, int16_t& occurrence, std::string& character) const;
  QHBoxLayout* Row() const;

  QComboBox* verb;
  QComboBox* occurrence;
  QComboBox* character;  // free text allowed
};

}  // namespace kestrel
