#pragma once

#include <QDialog>

#include "app/profile/settings.h"
#include "app/rules/colour_box.h"
#include "app/rules/rule.h"

namespace kestrel {

// The alert colours dialog: the pop-up window's text and background colours of a rule being
// edited. Loads from `pending` when created; OK writes AlertForegroundColor and
// AlertBackgroundColor into `pending` (which must outlive the dialog) and accepts; Cancel
// rejects and writes nothing.
class AlertSettingsDialog : public QDialog {
 public:
  AlertSettingsDialog(Rule& pending, ColourPicker chooser, QWidget* parent = nullptr);

 private:
  void Ok();

  Rule& pending_;
  ColourSetting foreground_;
  ColourSetting background_;
};

// Shows the dialog modally (above other windows with AlwaysOnTop). True after OK, `pending`
// updated; false after Cancel, `pending` unchanged.
bool EditAlertSettings(Rule& pending, const Settings& settings, QWidget* parent,
                       ColourPicker chooser = StandardColourPicker());
// EditAlertSettings as the rule dialog's hook. `settings` must outlive the hook.
SettingsDialogHook AlertSettingsHook(const Settings& settings,
                                     ColourPicker chooser = StandardColourPicker());

}  // namespace kestrel
