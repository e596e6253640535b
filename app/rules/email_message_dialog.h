#pragma once

#include <QDialog>
#include <array>

#include "app/platform/clock.h"
#include "app/platform/message_box.h"
#include "app/profile/settings.h"
#include "app/rules/action_settings.h"
#include "app/rules/action_settings_widgets.h"
#include "app/rules/colour_box.h"
#include "app/rules/rule.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace kestrel {

// The e-mail settings of a rule being edited: addresses, subject, where the text begins, its
// formatting, splitting and size limit, and the days and hours the action stays silent. Loads
// from `pending` when created and shows the hours of `today` (0 = Sunday). OK writes the
// EMailMessage* fields into `pending`; when `action_checked` (the rule dialog's
// EMailMessagesCheckbox) is true and the settings are incomplete it becomes false and the
// completeness message is shown, or, when only the mail server is missing, that message (the
// action stays checked); then the dialog accepts. Cancel rejects and writes nothing.
// Everything passed by reference must outlive the dialog.
class EMailMessageDialog : public QDialog {
 public:
  EMailMessageDialog(Rule& pending, bool& action_checked, const Settings& settings,
                     MessageBoxes& boxes, int today, QWidget* parent = nullptr);

 private:
  HourColumn Boxes() const;
  void ShowBoxes(const HourColumn& column);
  void ShowDay(int day);
  void CheckAll(bool checked);
  void Ok();

  Rule& pending_;
  bool& action_checked_;
  const Settings& settings_;
  MessageBoxes& boxes_;
  HoursGridEditor hours_;
  QLineEdit* from_name_;
  QLineEdit* from_address_;
  QLineEdit* to_address_;
  QLineEdit* subject_;
  SentenceLists lists_;
  QCheckBox* collapse_spaces_;
  QCheckBox* html_formatting_;
  QCheckBox* split_;
  QLineEdit* split_chars_;
  QCheckBox* limit_;
  QLineEdit* limit_chars_;
  QComboBox* day_of_week_;
  std::array<QCheckBox*, DisabledHours::kHours> hour_boxes_;
};

// Shows the dialog modally (above other windows with AlwaysOnTop), with the hours of the
// clock's local weekday. True after OK, `pending` and `action_checked` updated; false after
// Cancel, both unchanged.
bool EditEMailSettings(Rule& pending, bool& action_checked, const Settings& settings,
                       QWidget* parent, MessageBoxes& boxes, const Clock& clock);
// EditEMailSettings as the rule dialog's hook, on `pending.EMailMessages` as the check box.
// `settings`, `boxes` and `clock` must outlive the hook.
SettingsDialogHook EMailSettingsHook(const Settings& settings, MessageBoxes& boxes,
                                     const Clock& clock);

}  // namespace kestrel
