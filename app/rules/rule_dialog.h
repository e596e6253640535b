#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/platform/file_question.h"
#include "app/platform/message_box.h"
#include "app/profile/settings.h"
#include "app/rules/rule_edit.h"
#include "app/rules/rules_class.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSoundEffect;

namespace kestrel {

// What the rule dialog reaches outside itself. Every member may be empty.
struct RuleDialogHooks {
  // Each shows one action's settings dialog modally over `parent` for the pending values and
  // writes them back on OK (Cancel leaves `pending` alone). `pending.Alert`, `LogMessages` and
  // `EMailMessages` come in as the rule dialog's check boxes stand and are read back, so a
  // settings dialog that finds its action incomplete unchecks the box by clearing the flag.
  // The rule dialog ignores any change to the name, patterns and other action flags.
  using SettingsDialog = std::function<void(QWidget* parent, Rule& pending)>;
  SettingsDialog alert;        // "the alert settings" (colours)
  SettingsDialog log_message;  // "the log message settings"
  SettingsDialog email;        // "the e-mail settings"
  // Plays a wave file for PlaySoundButton; false when it cannot. Empty: the dialog plays it
  // itself through Qt Multimedia.
  std::function<bool(const std::string& file)> play_sound;
};

// The rule dialog (RuleEdit): one rule's name, conditions and actions, shown modally by the rules
// window's New and Edit. Prepare, then exec(); on Accepted the rule set holds the rule
// (AcceptedPosition), with Changed raised. Cancel changes nothing.
class RuleDialog : public QDialog {
  Q_OBJECT

 public:
  // The references must outlive the dialog. `ask` may be empty: the platform's file dialogs.
  RuleDialog(RulesClass& rules, const Settings& settings, MessageBoxes& boxes, FileQuestion ask,
             RuleDialogHooks hooks, QWidget* parent = nullptr);
  ~RuleDialog() override;

  // Fills the controls and the pending values from `rule`: NewRulePending() for New, the rule
  // itself for Edit. `old_name` is the name the edited rule has now ("" for New).
  void Prepare(RuleDialogMode mode, const Rule& rule, const std::string& old_name);

  // The 0-based list position of the rule OK added or changed; -1 before that.
  int AcceptedPosition() const { return accepted_position_; }
  // The pending values with the controls' state, as OK would take them.
  Rule Edited() const;

 private:
  void BuildControls();
  void RefreshOk();
  void RefreshFileLabels();
  void OpenSettings(const RuleDialogHooks::SettingsDialog& hook);
  void LogMessagesClicked(bool checked);
  void EMailMessagesClicked(bool checked);
  void ChooseLogFile();
  void ChooseSoundFile();
  void PlayChosenSound();
  void Accept();

  RulesClass& rules_;
  const Settings& settings_;
  MessageBoxes& boxes_;
  FileQuestion ask_;
  RuleDialogHooks hooks_;
  RuleDialogMode mode_ = RuleDialogMode::kNew;
  std::string old_name_;
  Rule pending_;
  int accepted_position_ = -1;
  QSoundEffect* sound_ = nullptr;  // made when first needed

  QLineEdit* name_ = nullptr;
  QLineEdit* sent_to_ = nullptr;
  QLineEdit* message_body_ = nullptr;
  QCheckBox* alert_ = nullptr;
  QCheckBox* log_messages_ = nullptr;
  QCheckBox* email_ = nullptr;
  QCheckBox* log_file_ = nullptr;
  QCheckBox* log_printer_ = nullptr;
  QCheckBox* play_sound_ = nullptr;
  QCheckBox* beep_ = nullptr;
  QCheckBox* no_further_ = nullptr;
  QPushButton* sound_filename_button_ = nullptr;
  QPushButton* play_sound_button_ = nullptr;
  QLabel* log_filename_label_ = nullptr;
  QLabel* sound_filename_label_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace kestrel
