#include "app/rules/email_message_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/profile/set_topmost.h"
#include "app/ui/widget_helpers.h"

namespace kestrel {

namespace {

constexpr const char* kDays[DisabledHours::kDays] = {
    "Sundays", "Mondays", "Tuesdays", "Wednesdays", "Thursdays", "Fridays", "Saturdays"};
constexpr int kHourColumns = 4;

QLineEdit* NewTextBox(const char* name, QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  return box;
}

QString HourCaption(int hour) { return QString::asprintf("%02d:00 - %02d:59", hour, hour); }

}  // namespace

EMailMessageDialog::EMailMessageDialog(Rule& pending, bool& action_checked,
                                       const Settings& settings, MessageBoxes& boxes, int today,
                                       QWidget* parent)
    : QDialog(parent),
      pending_(pending),
      action_checked_(action_checked),
      settings_(settings),
      boxes_(boxes),
      hours_(pending.EMailMessageDisabledHours),
      from_name_(NewTextBox("FromName", this)),
      from_address_(NewTextBox("FromAddress", this)),
      to_address_(NewTextBox("ToAddress", this)),
      subject_(NewTextBox("Subject", this)),
      lists_(this),
      collapse_spaces_(NewCheckBox("CollapseSpaces",
                                   "Collapse multiple spaces to single spaces and replace "
                                   "carriage-return/linefeeds with slashes",
                                   this)),
      html_formatting_(NewCheckBox(
          "HTMLFormatting",
          "Use HTML message formatting (preserves MDT text foreground and background colors)",
          this)),
      split_(NewCheckBox("Split", "Break messages into multiple pieces if over", this)),
      split_chars_(NewTextBox("SplitChars", this)),
      limit_(NewCheckBox("Limit", "Limit messages to", this)),
      limit_chars_(NewTextBox("LimitChars", this)),
      day_of_week_(new QComboBox(this)) {
  setObjectName("RulesEMailMessageConfigure");
  setWindowTitle("E-Mail Message");
  setModal(true);

  auto* layout = new QVBoxLayout(this);
  auto* addresses = new QGridLayout;
  int row = 0;
  auto add_text_row = [&](const char* label_name, const char* label, QLineEdit* box) {
    addresses->addWidget(NewLabel(label_name, label, this), row, 0);
    addresses->addWidget(box, row, 1);
    ++row;
  };
  add_text_row("FromNameLabel", "From Name:", from_name_);
  add_text_row("FromAddressLabel", "From Address:", from_address_);
  add_text_row("ToAddressLabel", "To Address:", to_address_);
  add_text_row("SubjectLabel", "Subject:", subject_);
  QLabel* subject_hint =
      NewLabel("SubjectHint",
               "(insert %T in subject to include first 80 characters of message in subject)", this);
  subject_hint->setWordWrap(true);
  addresses->addWidget(subject_hint, row, 1);
  addresses->setColumnStretch(1, 1);
  layout->addLayout(addresses);

  layout->addWidget(NewLabel("BeginsLabel", "Text of e-mail message begins", this));
  layout->addLayout(lists_.Row());
  layout->addWidget(collapse_spaces_);
  layout->addWidget(html_formatting_);

  const int chars_width = split_chars_->fontMetrics().horizontalAdvance("0000000") + 12;
  auto add_size_row = [&](QCheckBox* box, QLineEdit* chars, const char* label_name) {
    chars->setFixedWidth(chars_width);
    auto* size_row = new QHBoxLayout;
    size_row->addWidget(box);
    size_row->addWidget(chars);
    size_row->addWidget(NewLabel(label_name, "characters in size", this));
    size_row->addStretch(1);
    layout->addLayout(size_row);
  };
  add_size_row(split_, split_chars_, "SplitCharsLabel");
  add_size_row(limit_, limit_chars_, "LimitCharsLabel");

  auto* frame = new QGroupBox("Days and times when rule should not trigger", this);
  frame->setObjectName("HoursFrame");
  auto* frame_layout = new QVBoxLayout(frame);
  auto* day_row = new QHBoxLayout;
  day_row->addWidget(NewLabel("DayOfWeekLabel", "Hour settings for", frame));
  day_of_week_->setObjectName("DayOfWeek");
  day_of_week_->setParent(frame);
  for (const char* day : kDays) day_of_week_->addItem(day);
  day_of_week_->setCurrentIndex(-1);
  day_row->addWidget(day_of_week_);
  day_row->addWidget(
      NewLabel("DayOfWeekHint", "(change day selection to set hours for other days)", frame));
  day_row->addStretch(1);
  frame_layout->addLayout(day_row);

  auto* hours_grid = new QGridLayout;
  const int rows = DisabledHours::kHours / kHourColumns;
  for (int hour = 0; hour < DisabledHours::kHours; ++hour) {
    auto* box = new QCheckBox(HourCaption(hour), frame);
    box->setObjectName(QString("Hours%1").arg(hour));
    hour_boxes_[hour] = box;
    // Down the columns, so that a column holds a quarter of the day.
    hours_grid->addWidget(box, hour % rows, hour / rows);
  }
  frame_layout->addLayout(hours_grid);

  auto* buttons = new QHBoxLayout;
  QPushButton* select_all = NewButton("SelectAll", "Select All", frame);
  QPushButton* clear_all = NewButton("ClearAll", "Clear All", frame);
  QPushButton* everyday = NewButton("CopyEveryday", "Copy to everyday", frame);
  QPushButton* weekdays = NewButton("CopyWeekdays", "Copy to weekday days", frame);
  QPushButton* weekends = NewButton("CopyWeekends", "Copy to weekend days", frame);
  for (QPushButton* button : {select_all, clear_all, everyday, weekdays, weekends}) {
    buttons->addWidget(button);
  }
  buttons->addStretch(1);
  frame_layout->addLayout(buttons);
  layout->addWidget(frame);

  layout->addStretch(1);
  layout->addLayout(OkCancelRow(this, [this] { Ok(); }));
  layout->setSizeConstraint(QLayout::SetMinimumSize);

  connect(select_all, &QPushButton::clicked, this, [this] { CheckAll(true); });
  connect(clear_all, &QPushButton::clicked, this, [this] { CheckAll(false); });
  connect(everyday, &QPushButton::clicked, this, [this] { hours_.Grid().CopyToEveryday(Boxes()); });
  connect(weekdays, &QPushButton::clicked, this, [this] { hours_.Grid().CopyToWeekdays(Boxes()); });
  connect(weekends, &QPushButton::clicked, this, [this] { hours_.Grid().CopyToWeekends(Boxes()); });

  // Load.
  from_name_->setText(Utf8(pending_.EMailMessageFromName));
  from_address_->setText(Utf8(pending_.EMailMessageFromAddress));
  to_address_->setText(Utf8(pending_.EMailMessageToAddress));
  subject_->setText(Utf8(pending_.EMailMessageSubject));
  lists_.Load(pending_.EMailMessageVerb, pending_.EMailMessageOccurence,
              pending_.EMailMessageCharacter);
  collapse_spaces_->setChecked(pending_.EMailMessageCollapseSpaces);
  html_formatting_->setChecked(pending_.EMailMessageHTMLFormatting);
  split_->setChecked(pending_.EMailMessageSplit);
  split_chars_->setText(QString::number(pending_.EMailMessageSplitChars));
  limit_->setChecked(pending_.EMailMessageLimit);
  limit_chars_->setText(QString::number(pending_.EMailMessageLimitChars));
  connect(day_of_week_, &QComboBox::currentIndexChanged, this, &EMailMessageDialog::ShowDay);
  day_of_week_->setCurrentIndex(today >= 0 && today < DisabledHours::kDays ? today : 0);
}

HourColumn EMailMessageDialog::Boxes() const {
  HourColumn column{};
  for (int hour = 0; hour < DisabledHours::kHours; ++hour) {
    column[hour] = hour_boxes_[hour]->isChecked();
  }
  return column;
}

void EMailMessageDialog::ShowBoxes(const HourColumn& column) {
  for (int hour = 0; hour < DisabledHours::kHours; ++hour) {
    hour_boxes_[hour]->setChecked(column[hour]);
  }
}

void EMailMessageDialog::ShowDay(int day) {
  if (day < 0) return;
  ShowBoxes(hours_.ShowDay(day, Boxes()));
}

void EMailMessageDialog::CheckAll(bool checked) {
  HourColumn column;
  column.fill(checked);
  ShowBoxes(column);
}

void EMailMessageDialog::Ok() {
  pending_.EMailMessageFromName = ToUtf8(from_name_->text());
  pending_.EMailMessageFromAddress = ToUtf8(from_address_->text());
  pending_.EMailMessageToAddress = ToUtf8(to_address_->text());
  pending_.EMailMessageSubject = ToUtf8(subject_->text());
  lists_.Store(pending_.EMailMessageVerb, pending_.EMailMessageOccurence,
               pending_.EMailMessageCharacter);
  pending_.EMailMessageCollapseSpaces = collapse_spaces_->isChecked();
  pending_.EMailMessageHTMLFormatting = html_formatting_->isChecked();
  pending_.EMailMessageSplit = split_->isChecked();
  pending_.EMailMessageLimit = limit_->isChecked();
  pending_.EMailMessageSplitChars = LeadingNumber(ToUtf8(split_chars_->text()));
  pending_.EMailMessageLimitChars = LeadingNumber(ToUtf8(limit_chars_->text()));
  hours_.Store(Boxes());
  pending_.EMailMessageDisabledHours = hours_.Grid().Text();
  if (action_checked_ && !ConfirmEMailAction(pending_, settings_.SMTPMailServer, boxes_)) {
    action_checked_ = false;
  }
  accept();
}

bool EditEMailSettings(Rule& pending, bool& action_checked, const Settings& settings,
                       QWidget* parent, MessageBoxes& boxes, const Clock& clock) {
  EMailMessageDialog dialog(pending, action_checked, settings, boxes,
                            LocalTime(clock.Now()).tm_wday, parent);
  SetTopmost(&dialog, settings.AlwaysOnTop);
  return dialog.exec() == QDialog::Accepted;
}

SettingsDialogHook EMailSettingsHook(const Settings& settings, MessageBoxes& boxes,
                                     const Clock& clock) {
  return [&settings, &boxes, &clock](QWidget* parent, Rule& pending) {
    EditEMailSettings(pending, pending.EMailMessages, settings, parent, boxes, clock);
  };
}

}  // namespace kestrel
