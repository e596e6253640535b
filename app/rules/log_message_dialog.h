#pragma once

#include <QDialog>

#include "app/platform/message_box.h"
#include "app/profile/settings.h"
#include "app/rules/action_settings_widgets.h"
#include "app/rules/colour_box.h"
#include "app/rules/rule.h"

class QLineEdit;
class QRadioButton;

namespace kestrel {

// The Messages-window settings of a rule being edited: the Type column's text, what the To
// column shows, where the Message Details text begins and the row's colour. Loads from `pending`
// when created. OK writes the LogMessage* fields into `pending`; when `action_checked` (the rule
// dialog's LogMessagesCheckBox) is true and the settings are incomplete it becomes false and the
// completeness message is shown; then the dialog accepts. Cancel rejects and writes nothing.
// `pending`, `action_checked` and `boxes` must outlive the dialog.
class LogMessageDialog : public QDialog {
 public:
  LogMessageDialog(Rule& pending, bool& action_checked, MessageBoxes& boxes, ColourPicker chooser,
                   QWidget* parent = nullptr);

 private:
  void Ok();

  Rule& pending_;
  bool& action_checked_;
  MessageBoxes& boxes_;
  QLineEdit* type_;
  QRadioButton* to_terminal_;
  QRadioButton* to_alias_;
  QRadioButton* to_terminal_alias_;
  SentenceLists lists_;
  ColourSetting colour_;
};

// Shows the dialog modally (above other windows with AlwaysOnTop). True after OK, `pending` and
// `action_checked` updated; false after Cancel, both unchanged.
bool EditLogMessageSettings(Rule& pending, bool& action_checked, const Settings& settings,
                            QWidget* parent, MessageBoxes& boxes,
                            ColourPicker chooser = StandardColourPicker());
// EditLogMessageSettings as the rule dialog's hook, on `pending.LogMessages` as the check box.
// `settings` and `boxes` must outlive the hook.
SettingsDialogHook LogMessageSettingsHook(const Settings& settings, MessageBoxes& boxes,
                                          ColourPicker chooser = StandardColourPicker());

}  // namespace kestrel
