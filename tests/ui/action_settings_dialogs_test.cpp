#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/platform/clock.h"
#include "app/rules/alert_settings_dialog.h"
#include "app/rules/email_message_dialog.h"
#include "app/rules/log_message_dialog.h"
#include "app/rules/rule_edit.h"
#include "ui/ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::Find;

// A colour chooser that answers from a list and keeps the colours it was preset to.
struct FakeChooser {
  std::vector<std::optional<Colour>> answers;
  std::vector<Colour> presets;

  ColourPicker Function() {
    return [this](Colour current, QWidget*) -> std::optional<Colour> {
      presets.push_back(current);
      if (answers.empty()) return std::nullopt;
      std::optional<Colour> answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    };
  }
};

void ClickBox(QWidget* dialog, const char* name) {
  QTest::mouseClick(Find<QWidget>(dialog, name), Qt::LeftButton);
}

void Click(QWidget* dialog, const char* name) { Find<QAbstractButton>(dialog, name)->click(); }

// ---- Alert colours ----

TEST(AlertSettingsDialogTest, LoadsDefaultAndCustomColours) {
  Rule pending = NewRulePending();
  pending.AlertBackgroundColor = 0x123456;
  FakeChooser chooser;
  AlertSettingsDialog dialog(pending, chooser.Function());
  EXPECT_EQ(dialog.objectName(), "RulesAlertConfigure");
  EXPECT_EQ(dialog.windowTitle(), "Alert Message");
  EXPECT_TRUE(dialog.isModal());
  EXPECT_TRUE(Find<QRadioButton>(&dialog, "ForegroundColorDefault")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(&dialog, "ForegroundColorCustom")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>(&dialog, "BackgroundColorCustom")->isChecked());
  EXPECT_FALSE(Find<QRadioButton>(&dialog, "BackgroundColorDefault")->isChecked());
  EXPECT_EQ(Find<ColourBox>(&dialog, "BackgroundColorBox")->Value(), 0x123456);
  // Red is the low byte.
  EXPECT_EQ(Find<ColourBox>(&dialog, "BackgroundColorBox")->palette().color(QPalette::Window),
            QColor(0x56, 0x34, 0x12));
  Click(&dialog, "OKButton");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(pending.AlertForegroundColor, -1);
  EXPECT_EQ(pending.AlertBackgroundColor, 0x123456);
}

TEST(AlertSettingsDialogTest, ClickingABoxSelectsCustomAndTakesTheChosenColour) {
  Rule pending = NewRulePending();
  pending.AlertBackgroundColor = 0x00FF00;
  FakeChooser chooser;
  chooser.answers = {0x0000FF, std::nullopt};
  AlertSettingsDialog dialog(pending, chooser.Function());
  const Colour foreground_preset = Find<ColourBox>(&dialog, "ForegroundColorBox")->Value();

  ClickBox(&dialog, "ForegroundColorBox");
  EXPECT_TRUE(Find<QRadioButton>(&dialog, "ForegroundColorCustom")->isChecked());
  EXPECT_EQ(Find<ColourBox>(&dialog, "ForegroundColorBox")->Value(), 0x0000FF);
  // Choosing one colour leaves the other pair alone.
  EXPECT_TRUE(Find<QRadioButton>(&dialog, "BackgroundColorCustom")->isChecked());

  // Cancelled chooser: the box keeps its colour, Custom stays selected.
  Click(&dialog, "BackgroundColorDefault");
  ClickBox(&dialog, "BackgroundColorBox");
  EXPECT_TRUE(Find<QRadioButton>(&dialog, "BackgroundColorCustom")->isChecked());
  EXPECT_EQ(Find<ColourBox>(&dialog, "BackgroundColorBox")->Value(), 0x00FF00);
  EXPECT_EQ(chooser.presets, (std::vector<Colour>{foreground_preset, 0x00FF00}));

  Click(&dialog, "BackgroundColorDefault");
  Click(&dialog, "OKButton");
  EXPECT_EQ(pending.AlertForegroundColor, 0x0000FF);
  EXPECT_EQ(pending.AlertBackgroundColor, -1);
}

TEST(AlertSettingsDialogTest, CancelWritesNothing) {
  Rule pending = NewRulePending();
  const Rule before = pending;
  FakeChooser chooser;
  chooser.answers = {0x0000FF};
  AlertSettingsDialog dialog(pending, chooser.Function());
  ClickBox(&dialog, "ForegroundColorBox");
  Click(&dialog, "CancelButton");
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(pending, before);
}

// ---- Log message ----

TEST(LogMessageDialogTest, OccurrenceListAndCaptions) {
  Rule pending = NewRulePending();
  bool checked = false;
  RecordingMessageBoxes boxes;
  LogMessageDialog dialog(pending, checked, boxes, {});
  EXPECT_EQ(dialog.objectName(), "RulesLogMessageConfigure");
  EXPECT_EQ(dialog.windowTitle(), "Log Message");
  auto* occurrence = Find<QComboBox>(&dialog, "Occurence");
  ASSERT_EQ(occurrence->count(), 101);
  EXPECT_EQ(occurrence->itemText(0), "word");
  EXPECT_EQ(occurrence->itemText(12), "12th");
  EXPECT_EQ(occurrence->itemText(100), "100th");
  EXPECT_EQ(occurrence->currentText(), "1st");
  auto* verb = Find<QComboBox>(&dialog, "Verb");
  ASSERT_EQ(verb->count(), 2);
  EXPECT_EQ(verb->itemText(0), "after");
  EXPECT_EQ(verb->itemText(1), "with");
  auto* character = Find<QComboBox>(&dialog, "Character");
  EXPECT_TRUE(character->isEditable());
  EXPECT_EQ(character->itemText(2), "space");
  EXPECT_EQ(Find<QRadioButton>(&dialog, "ToTerminal")->text(), "Terminal Number");
  EXPECT_EQ(Find<QRadioButton>(&dialog, "ToAlias")->text(), "Terminal Alias");
  EXPECT_EQ(Find<QRadioButton>(&dialog, "ToTerminalAlias")->text(), "Number and Alias");
}

TEST(LogMessageDialogTest, WordOccurrenceLoadsAsWordAndSecondStoresTwo) {
  Rule pending = NewRulePending();
  pending.LogMessageOccurence = -1;
  pending.LogMessageCharacter = "Unit";
  bool checked = true;
  RecordingMessageBoxes boxes;
  LogMessageDialog dialog(pending, checked, boxes, {});
  auto* occurrence = Find<QComboBox>(&dialog, "Occurence");
  EXPECT_EQ(occurrence->currentText(), "word");
  EXPECT_EQ(Find<QComboBox>(&dialog, "Character")->currentText(), "Unit");
  occurrence->setCurrentIndex(occurrence->findText("2nd"));
  Click(&dialog, "OKButton");
  EXPECT_EQ(pending.LogMessageOccurence, 2);
  EXPECT_EQ(pending.LogMessageCharacter, "Unit");
  EXPECT_TRUE(checked);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(LogMessageDialogTest, ToOptionsBothWays) {
  struct Case {
    int16_t pending;
    const char* option;
    int16_t stored;
  };
  for (const Case& c :
       {Case{1, "ToTerminal", 1}, Case{2, "ToAlias", 2}, Case{3, "ToTerminalAlias", 3},
        Case{0, "ToAlias", 2}, Case{4, "ToAlias", 2}}) {
    Rule pending = NewRulePending();
    pending.LogMessageTo = c.pending;
    bool checked = false;
    RecordingMessageBoxes boxes;
    LogMessageDialog dialog(pending, checked, boxes, {});
    EXPECT_TRUE(Find<QRadioButton>(&dialog, c.option)->isChecked()) << c.pending;
    Click(&dialog, "OKButton");
    EXPECT_EQ(pending.LogMessageTo, c.stored) << c.pending;
  }
}

TEST(LogMessageDialogTest, StoresTypeVerbAndColour) {
  Rule pending = NewRulePending();
  pending.LogMessageType = "Dispatch";
  pending.LogMessageColor = 0x0000FF;
  bool checked = false;
  RecordingMessageBoxes boxes;
  FakeChooser chooser;
  chooser.answers = {0x00FF00};
  LogMessageDialog dialog(pending, checked, boxes, chooser.Function());
  EXPECT_EQ(Find<QLineEdit>(&dialog, "LogMessageType")->text(), "Dispatch");
  EXPECT_TRUE(Find<QRadioButton>(&dialog, "ColorCustom")->isChecked());
  EXPECT_EQ(Find<QComboBox>(&dialog, "Verb")->currentText(), "with");
  Find<QLineEdit>(&dialog, "LogMessageType")->setText(QString::fromUtf8("Fire \u00e9"));
  Find<QComboBox>(&dialog, "Verb")->setCurrentIndex(0);
  Find<QComboBox>(&dialog, "Character")->setCurrentText("linefeed");
  ClickBox(&dialog, "ColorBox");
  EXPECT_EQ(chooser.presets, std::vector<Colour>{0x0000FF});
  Click(&dialog, "OKButton");
  EXPECT_EQ(pending.LogMessageType, "Fire \xc3\xa9");
  EXPECT_EQ(pending.LogMessageVerb, "after");
  EXPECT_EQ(pending.LogMessageCharacter, "linefeed");
  EXPECT_EQ(pending.LogMessageColor, 0x00FF00);
}

TEST(LogMessageDialogTest, IncompleteSettingsUncheckTheActionOnlyWhenChecked) {
  for (bool checked_before : {true, false}) {
    Rule pending = NewRulePending();
    pending.LogMessageVerb = "before";  // not in the list: nothing selected
    bool checked = checked_before;
    RecordingMessageBoxes boxes;
    LogMessageDialog dialog(pending, checked, boxes, {});
    EXPECT_EQ(Find<QComboBox>(&dialog, "Verb")->currentIndex(), -1);
    Click(&dialog, "OKButton");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(pending.LogMessageVerb, "");
    EXPECT_FALSE(checked);
    if (checked_before) {
      ASSERT_EQ(boxes.shown.size(), 1u);
      EXPECT_EQ(boxes.shown[0].text,
                "Not all information has been entered in the 'Log message in Messages window' "
                "configuration window.");
      EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::kInformation);
    } else {
      EXPECT_TRUE(boxes.shown.empty());
    }
  }
}

TEST(LogMessageDialogTest, CancelWritesNothing) {
  Rule pending = NewRulePending();
  const Rule before = pending;
  bool checked = true;
  RecordingMessageBoxes boxes;
  LogMessageDialog dialog(pending, checked, boxes, {});
  Find<QComboBox>(&dialog, "Character")->setCurrentText("");
  Find<QLineEdit>(&dialog, "LogMessageType")->setText("changed");
  Click(&dialog, "CancelButton");
  EXPECT_EQ(pending, before);
  EXPECT_TRUE(checked);
  EXPECT_TRUE(boxes.shown.empty());
}

// ---- E-mail message ----

class EMailMessageDialogTest : public ::testing::Test {
 protected:
  EMailMessageDialog& Open(int today) {
    dialog_.emplace_back(
        std::make_unique<EMailMessageDialog>(pending, checked, settings, boxes, today));
    return *dialog_.back();
  }
  void CheckHour(int hour, bool on = true) {
    Find<QCheckBox>(dialog_.back().get(), QString("Hours%1").arg(hour).toLatin1().constData())
        ->setChecked(on);
  }
  bool HourChecked(int hour) {
    return Find<QCheckBox>(dialog_.back().get(),
                           QString("Hours%1").arg(hour).toLatin1().constData())
        ->isChecked();
  }
  void SelectDay(int day) {
    Find<QComboBox>(dialog_.back().get(), "DayOfWeek")->setCurrentIndex(day);
  }
  void Ok() { Click(dialog_.back().get(), "OKButton"); }
  void SetText(const char* name, const char* text) {
    Find<QLineEdit>(dialog_.back().get(), name)->setText(text);
  }

  Rule pending = NewRulePending();
  bool checked = false;
  Settings settings;
  RecordingMessageBoxes boxes;
  std::vector<std::unique_ptr<EMailMessageDialog>> dialog_;
};

TEST_F(EMailMessageDialogTest, CaptionsAndLists) {
  EMailMessageDialog& dialog = Open(0);
  EXPECT_EQ(dialog.objectName(), "RulesEMailMessageConfigure");
  EXPECT_EQ(dialog.windowTitle(), "E-Mail Message");
  auto* days = Find<QComboBox>(&dialog, "DayOfWeek");
  ASSERT_EQ(days->count(), 7);
  EXPECT_EQ(days->itemText(0), "Sundays");
  EXPECT_EQ(days->itemText(6), "Saturdays");
  EXPECT_EQ(Find<QCheckBox>(&dialog, "Hours0")->text(), "00:00 - 00:59");
  EXPECT_EQ(Find<QCheckBox>(&dialog, "Hours9")->text(), "09:00 - 09:59");
  EXPECT_EQ(Find<QCheckBox>(&dialog, "Hours23")->text(), "23:00 - 23:59");
  EXPECT_EQ(dialog.findChild<QCheckBox*>("Hours24"), nullptr);
  EXPECT_EQ(Find<QPushButton>(&dialog, "CopyWeekdays")->text(), "Copy to weekday days");
  EXPECT_EQ(Find<QGroupBox>(&dialog, "HoursFrame")->title(),
            "Days and times when rule should not trigger");
  EXPECT_EQ(Find<QComboBox>(&dialog, "Occurence")->count(), 101);
  EXPECT_EQ(Find<QLineEdit>(&dialog, "FromName")->text(), "Kestrel");
  EXPECT_EQ(Find<QLineEdit>(&dialog, "SplitChars")->text(), "240");
  EXPECT_EQ(Find<QLineEdit>(&dialog, "LimitChars")->text(), "240");
}

TEST_F(EMailMessageDialogTest, OpensOnTodayWithItsHours) {
  pending.EMailMessageDisabledHours = "2:5,3:6";
  Open(2);
  EXPECT_EQ(Find<QComboBox>(dialog_.back().get(), "DayOfWeek")->currentText(), "Tuesdays");
  EXPECT_TRUE(HourChecked(5));
  EXPECT_FALSE(HourChecked(6));
  SelectDay(3);
  EXPECT_FALSE(HourChecked(5));
  EXPECT_TRUE(HourChecked(6));
  Ok();
  EXPECT_EQ(pending.EMailMessageDisabledHours, "2:5,3:6");
}

TEST_F(EMailMessageDialogTest, HoursOfTwoDaysStoreInDayOrder) {
  Open(1);
  CheckHour(9);
  CheckHour(10);
  SelectDay(0);
  EXPECT_FALSE(HourChecked(9));
  CheckHour(0);
  Ok();
  EXPECT_EQ(pending.EMailMessageDisabledHours, "0:0,1:9,1:10");
}

TEST_F(EMailMessageDialogTest, CopyWeekdaysFillsMondayToFridayOnly) {
  Open(3);
  CheckHour(12);
  Click(dialog_.back().get(), "CopyWeekdays");
  Ok();
  EXPECT_EQ(pending.EMailMessageDisabledHours, "1:12,2:12,3:12,4:12,5:12");
}

TEST_F(EMailMessageDialogTest, CopyWeekdaysFromSundayLeavesSundayAsShown) {
  Open(0);
  CheckHour(12);
  Click(dialog_.back().get(), "CopyWeekdays");
  SelectDay(6);
  EXPECT_FALSE(HourChecked(12));
  SelectDay(5);
  EXPECT_TRUE(HourChecked(12));
  Ok();
  EXPECT_EQ(pending.EMailMessageDisabledHours, "0:12,1:12,2:12,3:12,4:12,5:12");
}

TEST_F(EMailMessageDialogTest, CopyEverydayAndWeekendsAndSelectClearAll) {
  Open(6);
  Click(dialog_.back().get(), "SelectAll");
  for (int hour = 0; hour < 24; ++hour) EXPECT_TRUE(HourChecked(hour)) << hour;
  Click(dialog_.back().get(), "ClearAll");
  for (int hour = 0; hour < 24; ++hour) EXPECT_FALSE(HourChecked(hour)) << hour;
  CheckHour(23);
  Click(dialog_.back().get(), "CopyEveryday");
  CheckHour(23, false);
  CheckHour(0);
  Click(dialog_.back().get(), "CopyWeekends");
  SelectDay(0);
  EXPECT_TRUE(HourChecked(0));
  EXPECT_FALSE(HourChecked(23));
  Ok();
  EXPECT_EQ(pending.EMailMessageDisabledHours, "0:0,1:23,2:23,3:23,4:23,5:23,6:0");
}

TEST_F(EMailMessageDialogTest, SizesTakeTheLeadingNumberWithin16Bits) {
  struct Case {
    const char* text;
    int16_t stored;
  };
  for (const Case& c : {Case{"abc", 0}, Case{"160 chars", 160}, Case{"32768", 0}}) {
    pending = NewRulePending();
    Open(0);
    SetText("SplitChars", c.text);
    SetText("LimitChars", c.text);
    Ok();
    EXPECT_EQ(pending.EMailMessageSplitChars, c.stored) << c.text;
    EXPECT_EQ(pending.EMailMessageLimitChars, c.stored) << c.text;
  }
}

TEST_F(EMailMessageDialogTest, StoresTextsListsAndCheckBoxes) {
  Open(0);
  SetText("FromName", "Dispatch");
  SetText("FromAddress", "kestrel@example.org");
  SetText("ToAddress", "a@example.org");
  SetText("Subject", "MDT %T");
  auto* occurrence = Find<QComboBox>(dialog_.back().get(), "Occurence");
  occurrence->setCurrentIndex(0);
  Find<QComboBox>(dialog_.back().get(), "Verb")->setCurrentIndex(0);
  Find<QComboBox>(dialog_.back().get(), "Character")->setCurrentText("Unit");
  for (const char* name : {"CollapseSpaces", "HTMLFormatting", "Split", "Limit"}) {
    Find<QCheckBox>(dialog_.back().get(), name)->setChecked(true);
  }
  Ok();
  EXPECT_EQ(pending.EMailMessageFromName, "Dispatch");
  EXPECT_EQ(pending.EMailMessageFromAddress, "kestrel@example.org");
  EXPECT_EQ(pending.EMailMessageToAddress, "a@example.org");
  EXPECT_EQ(pending.EMailMessageSubject, "MDT %T");
  EXPECT_EQ(pending.EMailMessageVerb, "after");
  EXPECT_EQ(pending.EMailMessageOccurence, -1);
  EXPECT_EQ(pending.EMailMessageCharacter, "Unit");
  EXPECT_TRUE(pending.EMailMessageCollapseSpaces);
  EXPECT_TRUE(pending.EMailMessageHTMLFormatting);
  EXPECT_TRUE(pending.EMailMessageSplit);
  EXPECT_TRUE(pending.EMailMessageLimit);
  // The log action's settings are not the e-mail dialog's.
  EXPECT_EQ(pending.LogMessageOccurence, 1);

  // Reopened, the dialog shows what was confirmed.
  Open(0);
  EXPECT_EQ(Find<QComboBox>(dialog_.back().get(), "Occurence")->currentText(), "word");
  EXPECT_TRUE(Find<QCheckBox>(dialog_.back().get(), "HTMLFormatting")->isChecked());
  EXPECT_EQ(Find<QLineEdit>(dialog_.back().get(), "Subject")->text(), "MDT %T");
}

TEST_F(EMailMessageDialogTest, EmptyToAddressUnchecksTheAction) {
  settings.SMTPMailServer = "mail.example.org";
  pending.EMailMessageFromAddress = "kestrel@example.org";
  checked = true;
  Open(0);
  Ok();
  EXPECT_FALSE(checked);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text,
            "Not all information has been entered in the 'Send e-mail message' configuration "
            "window.");
  EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::kInformation);
  // The values are stored all the same.
  EXPECT_EQ(pending.EMailMessageFromAddress, "kestrel@example.org");
}

TEST_F(EMailMessageDialogTest, MissingMailServerWarnsAndKeepsTheAction) {
  pending.EMailMessageFromAddress = "kestrel@example.org";
  pending.EMailMessageToAddress = "a@example.org";
  checked = true;
  Open(0);
  Ok();
  EXPECT_TRUE(checked);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text,
            "The 'SMTP Mail Server' value in View|Options must be filled-in for this rule to "
            "work.");

  settings.SMTPMailServer = "mail.example.org";
  Open(0);
  Ok();
  EXPECT_TRUE(checked);
  EXPECT_EQ(boxes.shown.size(), 1u);
}

TEST_F(EMailMessageDialogTest, UncheckedActionIsNotTested) {
  Open(0);
  Ok();
  EXPECT_FALSE(checked);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(EMailMessageDialogTest, CancelWritesNothing) {
  const Rule before = pending;
  checked = true;
  Open(4);
  CheckHour(7);
  SetText("ToAddress", "");
  SetText("SplitChars", "9");
  Click(dialog_.back().get(), "CancelButton");
  EXPECT_EQ(pending, before);
  EXPECT_TRUE(checked);
  EXPECT_TRUE(boxes.shown.empty());
}

// ---- The modal entry points ----

// Clicks the named button of the next modal dialog once it is up.
void ClickInNextDialog(const char* name) {
  QTimer::singleShot(0, [name] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) return ClickInNextDialog(name);
    Click(dialog, name);
  });
}

TEST(ActionSettingsEntryTest, OkAnswersTrueAndCancelFalse) {
  Settings settings;
  settings.AlwaysOnTop = true;
  RecordingMessageBoxes boxes;
  Rule pending = NewRulePending();
  bool checked = false;

  ClickInNextDialog("OKButton");
  EXPECT_TRUE(EditAlertSettings(pending, settings, nullptr, {}));
  ClickInNextDialog("CancelButton");
  EXPECT_FALSE(EditAlertSettings(pending, settings, nullptr, {}));

  ClickInNextDialog("OKButton");
  EXPECT_TRUE(EditLogMessageSettings(pending, checked, settings, nullptr, boxes, {}));
  ClickInNextDialog("CancelButton");
  EXPECT_FALSE(EditLogMessageSettings(pending, checked, settings, nullptr, boxes, {}));

  // A day ahead of the real one, so that the dialog cannot have taken today from elsewhere.
  const ManualClock clock(std::chrono::system_clock::now() + std::chrono::hours(24));
  const int day = LocalTime(clock.Now()).tm_wday;
  const QString day_name = QStringList{"Sundays",   "Mondays", "Tuesdays", "Wednesdays",
                                       "Thursdays", "Fridays", "Saturdays"}[day];
  ClickInNextDialog("CancelButton");
  EXPECT_FALSE(EditEMailSettings(pending, checked, settings, nullptr, boxes, clock));
  bool shown_day = false;
  std::function<void()> check_and_ok = [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr) {
      QTimer::singleShot(0, check_and_ok);
      return;
    }
    shown_day = Find<QComboBox>(dialog, "DayOfWeek")->currentText() == day_name &&
                dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
    Find<QCheckBox>(dialog, "Hours8")->setChecked(true);
    Click(dialog, "OKButton");
  };
  QTimer::singleShot(0, check_and_ok);
  EXPECT_TRUE(EditEMailSettings(pending, checked, settings, nullptr, boxes, clock));
  EXPECT_TRUE(shown_day);
  EXPECT_EQ(pending.EMailMessageDisabledHours, std::to_string(day) + ":8");
}

TEST(ActionSettingsEntryTest, HooksWorkOnTheActionFlagsOfThePendingValues) {
  Settings settings;
  settings.SMTPMailServer = "mail.example.org";
  RecordingMessageBoxes boxes;
  const ManualClock clock(std::chrono::system_clock::now());
  Rule pending = NewRulePending();
  pending.Alert = true;
  pending.LogMessages = true;
  pending.EMailMessages = true;
  pending.LogMessageCharacter.clear();

  ClickInNextDialog("OKButton");
  AlertSettingsHook(settings, {})(nullptr, pending);
  EXPECT_TRUE(pending.Alert);

  // Cancel keeps the flag even with incomplete settings.
  ClickInNextDialog("CancelButton");
  LogMessageSettingsHook(settings, boxes, {})(nullptr, pending);
  EXPECT_TRUE(pending.LogMessages);
  ClickInNextDialog("OKButton");
  LogMessageSettingsHook(settings, boxes, {})(nullptr, pending);
  EXPECT_FALSE(pending.LogMessages);

  ClickInNextDialog("OKButton");
  EMailSettingsHook(settings, boxes, clock)(nullptr, pending);
  EXPECT_FALSE(pending.EMailMessages);  // no addresses
  EXPECT_EQ(boxes.shown.size(), 2u);
}

// ---- Layout ----

// Every caption fits its control and every control lies inside the dialog, at the dialog's
// opening size and when the user makes it larger. With KESTREL_SCREENSHOTS set the dialogs are
// saved there as pictures too.
void ExpectNothingClipped(QDialog& dialog, const char* picture) {
  for (QSize extra : {QSize(0, 0), QSize(200, 150)}) {
    dialog.resize(dialog.sizeHint() + extra);
    dialog.show();
    QCoreApplication::processEvents();
    for (QWidget* child : dialog.findChildren<QWidget*>()) {
      if (!child->isVisible() || child->isWindow()) continue;
      const QRect inside(child->mapTo(&dialog, QPoint(0, 0)), child->size());
      EXPECT_TRUE(dialog.rect().contains(inside)) << child->objectName().toStdString();
      if (qobject_cast<QAbstractButton*>(child) != nullptr ||
          qobject_cast<QLabel*>(child) != nullptr) {
        EXPECT_GE(child->width(), child->minimumSizeHint().width())
            << child->objectName().toStdString();
      }
    }
    if (!qEnvironmentVariableIsEmpty("KESTREL_SCREENSHOTS") && extra.isEmpty()) {
      dialog.grab().save(qEnvironmentVariable("KESTREL_SCREENSHOTS") + "/" + picture);
    }
  }
  // The buttons follow the bottom right corner.
  auto* cancel = Find<QPushButton>(&dialog, "CancelButton");
  EXPECT_GE(cancel->mapTo(&dialog, QPoint(cancel->width(), cancel->height())).x(),
            dialog.width() - 30);
  dialog.close();
}

TEST(ActionSettingsLayoutTest, NothingClipped) {
  Rule pending = NewRulePending();
  bool checked = false;
  Settings settings;
  RecordingMessageBoxes boxes;
  AlertSettingsDialog alert(pending, {});
  ExpectNothingClipped(alert, "alert_settings.png");
  LogMessageDialog log(pending, checked, boxes, {});
  ExpectNothingClipped(log, "log_message_settings.png");
  EMailMessageDialog mail(pending, checked, settings, boxes, 1);
  ExpectNothingClipped(mail, "email_message_settings.png");
}

}  // namespace
}  // namespace kestrel
