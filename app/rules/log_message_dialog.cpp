#include "app/rules/log_message_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/profile/set_topmost.h"
#include "app/rules/action_settings.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {

LogMessageDialog::LogMessageDialog(Rule& pending, bool& action_checked, MessageBoxes& boxes,
                                   ColourPicker chooser, QWidget* parent)
    : QDialog(parent),
      pending_(pending),
      action_checked_(action_checked),
      boxes_(boxes),
      type_(new QLineEdit(this)),
      to_terminal_(NewOption("ToTerminal", "Terminal Number", this)),
      to_alias_(NewOption("ToAlias", "Terminal Alias", this)),
      to_terminal_alias_(NewOption("ToTerminalAlias", "Number and Alias", this)),
      lists_(this),
      colour_(NewOption("ColorDefault", "Default", this), NewOption("ColorCustom", "Custom", this),
              new ColourBox("ColorBox", 0, this), std::move(chooser)) {
  setObjectName("RulesLogMessageConfigure");
  setWindowTitle("Log Message");
  setModal(true);
  type_->setObjectName("LogMessageType");

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(
      NewLabel("LogMessageTypeLabel", "Text to display in Type column of Messages window:", this));
  layout->addWidget(type_);

  auto* to_frame = new QGroupBox("In the To column display:", this);
  to_frame->setObjectName("ToFrame");
  auto* to_row = new QHBoxLayout(to_frame);
  for (QRadioButton* option : {to_terminal_, to_alias_, to_terminal_alias_}) {
    option->setParent(to_frame);
    to_row->addWidget(option);
  }
  to_row->addStretch(1);
  layout->addWidget(to_frame);

  layout->addWidget(NewLabel("BeginsLabel", "Text for Message Details column begins", this));
  layout->addLayout(lists_.Row());

  auto* colour_frame = new QGroupBox("Foreground color to use:", this);
  colour_frame->setObjectName("ColorFrame");
  auto* colour_row = new QHBoxLayout(colour_frame);
  for (const char* name : {"ColorDefault", "ColorCustom", "ColorBox"}) {
    QWidget* control = findChild<QWidget*>(name);
    control->setParent(colour_frame);
    colour_row->addWidget(control);
  }
  colour_row->addStretch(1);
  layout->addWidget(colour_frame);

  layout->addStretch(1);
  layout->addLayout(OkCancelRow(this, [this] { Ok(); }));
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  // Load.
  type_->setText(Utf8(pending_.LogMessageType));
  switch (pending_.LogMessageTo) {
    case 1:
      to_terminal_->setChecked(true);
      break;
    case 3:
      to_terminal_alias_->setChecked(true);
      break;
    default:
      to_alias_->setChecked(true);
      break;
  }
  colour_.Load(pending_.LogMessageColor);
  lists_.Load(pending_.LogMessageVerb, pending_.LogMessageOccurence, pending_.LogMessageCharacter);
}

void LogMessageDialog::Ok() {
  pending_.LogMessageType = ToUtf8(type_->text());
  pending_.LogMessageTo = to_terminal_->isChecked() ? 1 : to_terminal_alias_->isChecked() ? 3 : 2;
  lists_.Store(pending_.LogMessageVerb, pending_.LogMessageOccurence, pending_.LogMessageCharacter);
  pending_.LogMessageColor = colour_.Value();
  if (action_checked_ && !ConfirmLogMessageAction(pending_, boxes_)) action_checked_ = false;
  accept();
}

bool EditLogMessageSettings(Rule& pending, bool& action_checked, const Settings& settings,
                            QWidget* parent, MessageBoxes& boxes, ColourPicker chooser) {
  LogMessageDialog dialog(pending, action_checked, boxes, std::move(chooser), parent);
  SetTopmost(&dialog, settings.AlwaysOnTop);
  return dialog.exec() == QDialog::Accepted;
}

SettingsDialogHook LogMessageSettingsHook(const Settings& settings, MessageBoxes& boxes,
                                          ColourPicker chooser) {
  return [&settings, &boxes, chooser](QWidget* parent, Rule& pending) {
    EditLogMessageSettings(pending, pending.LogMessages, settings, parent, boxes, chooser);
  };
}

}  // namespace kestrel
