#include "app/rules/action_settings_widgets.h"

#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>

#include "app/rules/action_settings.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {

namespace {

QComboBox* NewList(const char* name, bool editable, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->setObjectName(name);
  list->setEditable(editable);
  list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return list;
}

}  // namespace

QRadioButton* NewOption(const char* name, const QString& text, QWidget* parent) {
  auto* option = new QRadioButton(text, parent);
  option->setObjectName(name);
  return option;
}

QHBoxLayout* OkCancelRow(QDialog* dialog, std::function<void()> ok) {
  auto* ok_button = new QPushButton("OK", dialog);
  ok_button->setObjectName("OKButton");
  ok_button->setDefault(true);
  QPushButton* cancel = NewButton("CancelButton", "Cancel", dialog);
  QObject::connect(ok_button, &QPushButton::clicked, dialog, std::move(ok));
  QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  row->addWidget(ok_button);
  row->addWidget(cancel);
  return row;
}

SentenceLists::SentenceLists(QWidget* parent)
    : verb(NewList("Verb", false, parent)),
      occurrence(NewList("Occurence", false, parent)),
      character(NewList("Character", true, parent)) {
  for (const char* entry : kVerbs) verb->addItem(entry);
  for (const std::string& entry : OccurrenceEntries()) occurrence->addItem(Latin1(entry));
  for (const char* entry : kCharacters) character->addItem(entry);
  occurrence->setMaxVisibleItems(15);
  verb->setCurrentIndex(-1);
  occurrence->setCurrentIndex(-1);
  character->setCurrentIndex(-1);
}

void SentenceLists::Load(const std::string& verb_text, int occurrence_number,
                         const std::string& character_text) {
  const int verb_index = verb->findText(Latin1(ShownVerb(verb_text)));
  if (verb_index >= 0) verb->setCurrentIndex(verb_index);
  occurrence->setCurrentIndex(occurrence->findText(Latin1(OccurrenceText(occurrence_number))));
  character->setCurrentText(Utf8(character_text));
}

void SentenceLists::Store(std::string& verb_text, int16_t& occurrence_number,
                          std::string& character_text) const {
  verb_text = ToUtf8(verb->currentText());
  occurrence_number = OccurrenceFromText(ToUtf8(occurrence->currentText()));
  character_text = ToUtf8(character->currentText());
}

QHBoxLayout* SentenceLists::Row() const {
  auto* row = new QHBoxLayout;
  row->addWidget(verb);
  row->addWidget(occurrence);
  row->addWidget(character, 1);
  return row;
}

}  // namespace kestrel
