#include "app/rules/rule_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSoundEffect>
#include <QUrl>
#include <QVBoxLayout>
#include <utility>

#include "app/platform/file_dialog.h"
#include "app/platform/paths.h"
#include "app/profile/set_topmost.h"
#include "app/rules/action_settings.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {
namespace {

std::string Text(const QLineEdit* box) { return ToUtf8(box->text()); }

QLineEdit* NewTextBox(const char* name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  // The longest text the profile and exchange files read back.
  box->setMaxLength(1023);
  return box;
}

// The file's own name, coloured and explained when the file is gone: a rule keeps logging to or
// playing a file the user may have moved away.
void ShowFileName(QLabel* label, const std::string& path) {
  if (path.empty()) {
    label->clear();
    label->setToolTip({});
    label->setStyleSheet({});
    return;
  }
  const std::string::size_type slash = path.find_last_of("/\\");
  QString name = Utf8(slash == std::string::npos ? path : path.substr(slash + 1));
  // Long names keep both ends, which tell files apart best; the tool tip has the whole path.
  constexpr int kShown = 30;
  if (name.size() > kShown) name = name.left(kShown / 2 - 1) + "..." + name.right(kShown / 2 - 2);
  label->setText(name);
  if (FileExists(path)) {
    label->setToolTip(Utf8(path));
    label->setStyleSheet({});
  } else {
    label->setToolTip(QStringLiteral("This file no longer exists: ") + Utf8(path));
    label->setStyleSheet(QStringLiteral("color: red"));
  }
}

}  // namespace

RuleDialog::RuleDialog(RulesClass& rules, const Settings& settings, MessageBoxes& boxes,
                       FileQuestion ask, RuleDialogHooks hooks, QWidget* parent)
    : QDialog(parent),
      rules_(rules),
      settings_(settings),
      boxes_(boxes),
      ask_(std::move(ask)),
      hooks_(std::move(hooks)),
      pending_(NewRulePending()) {
  setObjectName("RuleEdit");
  setModal(true);
  setWindowTitle("New Rule");
  BuildControls();
  SetTopmost(this, settings_.AlwaysOnTop);
  Prepare(RuleDialogMode::kNew, NewRulePending(), "");
}

RuleDialog::~RuleDialog() = default;

void RuleDialog::BuildControls() {
  auto* layout = new QVBoxLayout(this);

  auto* name_row = new QHBoxLayout;
  name_row->addWidget(NewLabel("RuleNameLabel", "Name of rule:", this));
  name_ = NewTextBox("RuleName", this);
  name_row->addWidget(name_, 1);
  layout->addLayout(name_row);

  auto* conditions = new QGroupBox("When a message arrives that meets the following conditions:");
  auto* conditions_grid = new QGridLayout(conditions);
  sent_to_ = NewTextBox("SentTo", conditions);
  message_body_ = NewTextBox("MessageBody", conditions);
  conditions_grid->addWidget(NewLabel("SentToLabel", "Sent to matches:", conditions), 0, 0);
  conditions_grid->addWidget(sent_to_, 0, 1);
  conditions_grid->addWidget(NewLabel("MessageBodyLabel", "Message body matches:", conditions), 1,
                             0);
  conditions_grid->addWidget(message_body_, 1, 1);
  conditions_grid->setColumnStretch(1, 1);
  layout->addWidget(conditions);

  auto* actions = new QGroupBox("Perform these actions:");
  auto* grid = new QGridLayout(actions);
  alert_ = NewCheckBox("AlertCheckbox", "Display message in pop-up window", actions);
  log_messages_ = NewCheckBox("LogMessagesCheckBox", "Log message in Messages window", actions);
  email_ = NewCheckBox("EMailMessagesCheckbox", "Send e-mail message", actions);
  log_file_ = NewCheckBox("LogFileCheckbox", "Log message to file", actions);
  log_printer_ = NewCheckBox("LogPrinterCheckbox", "Log message to default printer", actions);
  play_sound_ = NewCheckBox("PlaySoundCheckbox", "Play sound", actions);
  beep_ =
      NewCheckBox("BeepOnMatchCheckbox", "Emit beep through computer's speaker on match", actions);
  auto* alert_configure = NewButton("AlertConfigureButton", "Configure...", actions);
  auto* log_configure = NewButton("LogMessagesConfigureButton", "Configure...", actions);
  auto* email_configure = NewButton("EMailMessagesConfigureButton", "Configure...", actions);
  auto* log_filename = NewButton("LogFilenameButton", "Filename...", actions);
  sound_filename_button_ = NewButton("SoundFilenameButton", "Filename...", actions);
  play_sound_button_ = NewButton("PlaySoundButton", "Play", actions);
  log_filename_label_ = NewLabel("LogFilenameLabel", {}, actions);
  sound_filename_label_ = NewLabel("SoundFilenameLabel", {}, actions);
  for (QLabel* label : {log_filename_label_, sound_filename_label_}) {
    // A long name must not widen the dialog; the tool tip holds the whole path.
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setMinimumWidth(120);
  }
  grid->addWidget(alert_, 0, 0);
  grid->addWidget(alert_configure, 0, 1);
  grid->addWidget(log_messages_, 1, 0);
  grid->addWidget(log_configure, 1, 1);
  grid->addWidget(email_, 2, 0);
  grid->addWidget(email_configure, 2, 1);
  grid->addWidget(log_file_, 3, 0);
  grid->addWidget(log_filename, 3, 1);
  grid->addWidget(log_filename_label_, 3, 2, 1, 2);
  grid->addWidget(log_printer_, 4, 0, 1, 4);
  grid->addWidget(play_sound_, 5, 0);
  grid->addWidget(sound_filename_button_, 5, 1);
  grid->addWidget(play_sound_button_, 5, 2);
  grid->addWidget(sound_filename_label_, 5, 3);
  grid->addWidget(beep_, 6, 0, 1, 4);
  grid->setColumnStretch(3, 1);
  layout->addWidget(actions);

  no_further_ = NewCheckBox("NoFurther", "Do not process further rules", this);
  layout->addWidget(no_further_);
  layout->addStretch(1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  ok_ = NewButton("OkButton", "OK", this);
  ok_->setDefault(true);
  auto* cancel = NewButton("CancelButton", "Cancel", this);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);

  connect(name_, &QLineEdit::textChanged, this, [this] { RefreshOk(); });
  connect(play_sound_, &QCheckBox::toggled, sound_filename_button_, &QWidget::setEnabled);
  connect(log_messages_, &QCheckBox::clicked, this, &RuleDialog::LogMessagesClicked);
  connect(email_, &QCheckBox::clicked, this, &RuleDialog::EMailMessagesClicked);
  connect(alert_configure, &QPushButton::clicked, this, [this] { OpenSettings(hooks_.alert); });
  connect(log_configure, &QPushButton::clicked, this, [this] { OpenSettings(hooks_.log_message); });
  connect(email_configure, &QPushButton::clicked, this, [this] { OpenSettings(hooks_.email); });
  connect(log_filename, &QPushButton::clicked, this, &RuleDialog::ChooseLogFile);
  connect(sound_filename_button_, &QPushButton::clicked, this, &RuleDialog::ChooseSoundFile);
  connect(play_sound_button_, &QPushButton::clicked, this, &RuleDialog::PlayChosenSound);
  connect(ok_, &QPushButton::clicked, this, &RuleDialog::Accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void RuleDialog::Prepare(RuleDialogMode mode, const Rule& rule, const std::string& old_name) {
  mode_ = mode;
  old_name_ = old_name;
  pending_ = rule;
  accepted_position_ = -1;
  setWindowTitle(mode == RuleDialogMode::kNew ? "New Rule" : "Edit Rule");
  name_->setText(Utf8(rule.Name));
  sent_to_->setText(Utf8(rule.SentTo));
  message_body_->setText(Utf8(rule.MessageBody));
  alert_->setChecked(rule.Alert);
  log_messages_->setChecked(rule.LogMessages);
  email_->setChecked(rule.EMailMessages);
  log_file_->setChecked(rule.LogFile);
  log_printer_->setChecked(rule.LogPrinter);
  play_sound_->setChecked(rule.PlaySound);
  beep_->setChecked(rule.BeepOnMatch);
  no_further_->setChecked(rule.NoFurther);
  sound_filename_button_->setEnabled(rule.PlaySound);
  play_sound_button_->setEnabled(!rule.SoundFilename.empty());
  RefreshFileLabels();
  RefreshOk();
}

Rule RuleDialog::Edited() const {
  Rule rule = pending_;
  rule.Name = Text(name_);
  rule.SentTo = Text(sent_to_);
  rule.MessageBody = Text(message_body_);
  rule.Alert = alert_->isChecked();
  rule.LogMessages = log_messages_->isChecked();
  rule.EMailMessages = email_->isChecked();
  rule.LogFile = log_file_->isChecked();
  rule.LogPrinter = log_printer_->isChecked();
  rule.PlaySound = play_sound_->isChecked();
  rule.BeepOnMatch = beep_->isChecked();
  rule.NoFurther = no_further_->isChecked();
  return rule;
}

void RuleDialog::RefreshOk() { ok_->setEnabled(!name_->text().isEmpty()); }

void RuleDialog::RefreshFileLabels() {
  ShowFileName(log_filename_label_, pending_.LogFilename);
  ShowFileName(sound_filename_label_, pending_.SoundFilename);
}

void RuleDialog::OpenSettings(const RuleDialogHooks::SettingsDialog& hook) {
  if (!hook) return;
  Rule edited = Edited();
  hook(this, edited);
  // Only the pending values and the three action flags come back.
  const Rule controls = Edited();
  pending_ = edited;
  pending_.Name = controls.Name;
  pending_.SentTo = controls.SentTo;
  pending_.MessageBody = controls.MessageBody;
  alert_->setChecked(edited.Alert);
  log_messages_->setChecked(edited.LogMessages);
  email_->setChecked(edited.EMailMessages);
  RefreshFileLabels();
}

void RuleDialog::LogMessagesClicked(bool checked) {
  if (checked && !ConfirmLogMessageAction(pending_, boxes_)) log_messages_->setChecked(false);
}

void RuleDialog::EMailMessagesClicked(bool checked) {
  if (checked && !ConfirmEMailAction(pending_, settings_.SMTPMailServer, boxes_))
    email_->setChecked(false);
}

void RuleDialog::ChooseLogFile() {
  const std::string proposed = pending_.LogFilename.empty() ? "*.txt" : pending_.LogFilename;
  const std::string path =
      // A log file is appended to, so an existing one is no cause for a question.
      AskFile(ask_, this, FileDialogMode::kSaveNoOverwriteQuestion, "Log messages to file",
              proposed, "*.txt;;*.doc;;*.hex;;*.dat", "txt");
  if (path.empty()) return;
  pending_.LogFilename = path;
  RefreshFileLabels();
}

void RuleDialog::ChooseSoundFile() {
  const std::string proposed = pending_.SoundFilename.empty() ? "*.wav" : pending_.SoundFilename;
  const std::string path =
      AskFile(ask_, this, FileDialogMode::kOpen, "Play Sound", proposed, "*.wav", "wav");
  if (path.empty()) return;
  pending_.SoundFilename = path;
  play_sound_button_->setEnabled(true);
  RefreshFileLabels();
}

void RuleDialog::PlayChosenSound() {
  const std::string file = pending_.SoundFilename;
  play_sound_button_->setEnabled(false);
  bool played = false;
  if (hooks_.play_sound) {
    played = hooks_.play_sound(file);
  } else if (FileExists(file)) {
    if (sound_ == nullptr) sound_ = new QSoundEffect(this);
    sound_->setSource(QUrl::fromLocalFile(Utf8(file)));
    sound_->play();
    played = true;
  }
  play_sound_button_->setEnabled(true);
  if (!played) {
    boxes_.Show("Unable to play " + file, kProgramName, MessageBoxes::Icon::kExclamation,
                MessageBoxes::Buttons::kOk);
  }
}

void RuleDialog::Accept() {
  const int position = AcceptRuleDialog(rules_, mode_, old_name_, Edited(), boxes_);
  if (position < 0) return;
  accepted_position_ = position;
  accept();
}

}  // namespace kestrel
