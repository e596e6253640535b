// The rules window and the rule dialog, offscreen: the rule dialog is driven through the
// window's dialog runner, file questions are answered by the test.
#include "app/rules/rules_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/rules/rule_dialog.h"
#include "support/program_stores.h"
#include "support/scratch_directory.h"
#include "ui_test_support.h"

namespace kestrel {
namespace {

using kestrel_test::Find;
using Names = std::vector<std::string>;

class RulesWindowTest : public ::testing::Test {
 protected:
  ~RulesWindowTest() override {
    if (window_) window_->close();
    kestrel_test::DeleteClosedWindows();
  }

  void Have(const Names& names, const std::vector<bool>& active = {}) {
    for (size_t i = 0; i < names.size(); ++i) {
      ASSERT_TRUE(stores_.rules.Add(names[i]));
      stores_.rules.Current()->Active = i < active.size() ? active[i] : true;
    }
    stores_.rules.SetChanged(false);
  }

  RulesWindow* Open() {
    window_ = new RulesWindow(stores_.rules, stores_.settings, stores_.boxes);
    window_->SetFileQuestion([this](const std::string& title, const std::string&,
                                    const std::string&, const std::string&) {
      asked_.push_back(title);
      return file_answer_;
    });
    window_->SetRuleDialogHooks(hooks_);
    window_->SetDialogRunner([this](RuleDialog& dialog) {
      dialog.show();
      if (drive_) drive_(dialog);
      const int result = dialog.result();
      dialog.done(result);
      return result;
    });
    window_->ShowAndFocus();
    return window_;
  }

  QPushButton* Button(const char* name) { return Find<QPushButton>(window_, name); }
  void Click(const char* name) { Button(name)->click(); }
  QListWidget* List() { return Find<QListWidget>(window_, "RulesListbox"); }

  Names Entries() {
    Names names;
    for (int i = 0; i < List()->count(); ++i) {
      names.push_back(List()->item(i)->text().toStdString());
    }
    return names;
  }
  std::vector<bool> Checks() {
    std::vector<bool> checks;
    for (int i = 0; i < List()->count(); ++i) {
      checks.push_back(List()->item(i)->checkState() == Qt::Checked);
    }
    return checks;
  }
  Names RuleNames() const {
    Names names;
    for (int i = 1; i <= stores_.rules.Count(); ++i) names.push_back(stores_.rules.At(i)->Name);
    return names;
  }
  void SelectEntry(int row) { List()->setCurrentRow(row); }
  bool Enabled(const char* name) { return Button(name)->isEnabled(); }

  kestrel_test::ProgramStores stores_;
  RuleDialogHooks hooks_;
  std::function<void(RuleDialog&)> drive_;
  std::string file_answer_;
  Names asked_;
  QPointer<RulesWindow> window_;
};

void SetText(RuleDialog& dialog, const char* name, const char* text) {
  Find<QLineEdit>(&dialog, name)->setText(QString::fromUtf8(text));
}
void ClickIn(RuleDialog& dialog, const char* name) {
  Find<QAbstractButton>(&dialog, name)->click();
}

TEST_F(RulesWindowTest, LoadListsEveryRuleWithItsActiveMark) {
  Have({"Dispatch", "Fire", "Medical"}, {true, false, true});
  Open();
  EXPECT_EQ(window_->objectName(), "RulesConfigure");
  EXPECT_EQ(window_->windowTitle(), "Configure Rules");
  EXPECT_EQ(Entries(), (Names{"Dispatch", "Fire", "Medical"}));
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_TRUE(Enabled("EditButton") && Enabled("CopyRule") && Enabled("DeleteButton") &&
              Enabled("ExportRulesButton") && Enabled("MoveDownButton"));
  EXPECT_FALSE(Enabled("MoveUpButton"));
  EXPECT_EQ(window_->focusWidget(), Button("NewButton"));
  EXPECT_EQ(Button("MoveDownButton")->text(), "Move D&own");
  EXPECT_EQ(Button("ImportRulesButton")->text(), "&Import Rules...");
  SelectEntry(2);
  EXPECT_TRUE(Enabled("MoveUpButton"));
  EXPECT_FALSE(Enabled("MoveDownButton"));
}

TEST_F(RulesWindowTest, AnEmptySetLeavesOnlyNewAndImport) {
  Open();
  EXPECT_EQ(List()->count(), 0);
  EXPECT_TRUE(Enabled("NewButton") && Enabled("ImportRulesButton") && Enabled("CloseButton"));
  for (const char* name : {"EditButton", "CopyRule", "DeleteButton", "ExportRulesButton",
                           "MoveUpButton", "MoveDownButton"}) {
    EXPECT_FALSE(Enabled(name)) << name;
  }
}

TEST_F(RulesWindowTest, CheckingAnEntrySetsActiveAndChanged) {
  Have({"Dispatch", "Fire"}, {true, false});
  Open();
  List()->item(1)->setCheckState(Qt::Checked);
  EXPECT_TRUE(stores_.rules.At(2)->Active);
  EXPECT_TRUE(stores_.rules.Changed());
  List()->item(0)->setCheckState(Qt::Unchecked);
  EXPECT_FALSE(stores_.rules.At(1)->Active);
}

TEST_F(RulesWindowTest, MoveUpSwapsAndKeepsBothChecks) {
  Have({"Dispatch", "Fire", "Medical"}, {true, false, true});
  Open();
  SelectEntry(1);
  Click("MoveUpButton");
  EXPECT_EQ(Entries(), (Names{"Fire", "Dispatch", "Medical"}));
  EXPECT_EQ(RuleNames(), Entries());
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, true}));
  EXPECT_FALSE(stores_.rules.At(1)->Active);
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_FALSE(Enabled("MoveUpButton"));
  EXPECT_TRUE(Enabled("MoveDownButton"));
  EXPECT_TRUE(stores_.rules.Changed());
  Click("MoveDownButton");
  Click("MoveDownButton");
  EXPECT_EQ(Entries(), (Names{"Dispatch", "Medical", "Fire"}));
  EXPECT_EQ(List()->currentRow(), 2);
  EXPECT_FALSE(Enabled("MoveDownButton"));
}

TEST_F(RulesWindowTest, DeletingTheLastRuleDisablesTheSelectionButtonsAndExport) {
  Have({"Dispatch", "Fire"});
  Open();
  SelectEntry(1);
  Click("DeleteButton");
  EXPECT_EQ(Entries(), (Names{"Dispatch"}));
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_TRUE(Enabled("DeleteButton"));
  EXPECT_TRUE(stores_.rules.Changed());
  Click("DeleteButton");
  EXPECT_EQ(stores_.rules.Count(), 0);
  EXPECT_EQ(List()->count(), 0);
  for (const char* name : {"EditButton", "CopyRule", "DeleteButton", "ExportRulesButton",
                           "MoveUpButton", "MoveDownButton"}) {
    EXPECT_FALSE(Enabled(name)) << name;
  }
  EXPECT_TRUE(stores_.boxes.shown.empty());
}

TEST_F(RulesWindowTest, CopyOfARuleWhoseCopyExistsAddsNothing) {
  Have({"Dispatch", "Fire"}, {false, true});
  Open();
  Click("CopyRule");
  EXPECT_EQ(Entries(), (Names{"Dispatch", "Fire", "Copy of Dispatch"}));
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true, false}));
  EXPECT_EQ(List()->currentRow(), 2);
  SelectEntry(0);
  stores_.rules.SetChanged(false);
  Click("CopyRule");
  EXPECT_EQ(Entries(), (Names{"Dispatch", "Fire", "Copy of Dispatch"}));
  EXPECT_FALSE(stores_.rules.Changed());
  ASSERT_EQ(stores_.boxes.shown.size(), 1u);
  EXPECT_EQ(stores_.boxes.shown[0].text,
            "An error occured while making a copy of the selected rule.");
  EXPECT_EQ(List()->currentRow(), 0);
}

TEST_F(RulesWindowTest, NewRuleIsAppendedSelectedAndActive) {
  Have({"Dispatch"});
  Open();
  bool ok_enabled_empty = true;
  drive_ = [&](RuleDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "New Rule");
    EXPECT_EQ(dialog.objectName(), "RuleEdit");
    EXPECT_TRUE(dialog.isModal());
    ok_enabled_empty = Find<QPushButton>(&dialog, "OkButton")->isEnabled();
    SetText(dialog, "RuleName", "Fire");
    SetText(dialog, "MessageBody", "*FIRE*");
    ClickIn(dialog, "BeepOnMatchCheckbox");
    ClickIn(dialog, "NoFurther");
    ClickIn(dialog, "OkButton");
  };
  Click("NewButton");
  EXPECT_FALSE(ok_enabled_empty);
  EXPECT_EQ(Entries(), (Names{"Dispatch", "Fire"}));
  EXPECT_EQ(Checks(), (std::vector<bool>{true, true}));
  EXPECT_EQ(List()->currentRow(), 1);
  const Rule* rule = stores_.rules.At(2);
  EXPECT_EQ(rule->MessageBody, "*FIRE*");
  EXPECT_TRUE(rule->BeepOnMatch && rule->NoFurther && rule->Active);
  EXPECT_EQ(rule->LogMessageVerb, "with");
  EXPECT_EQ(rule->EMailMessageSplitChars, 240);
  EXPECT_TRUE(stores_.rules.Changed());
}

TEST_F(RulesWindowTest, CancelChangesNothing) {
  Have({"Dispatch"});
  Open();
  drive_ = [&](RuleDialog& dialog) {
    SetText(dialog, "RuleName", "Fire");
    ClickIn(dialog, "CancelButton");
  };
  Click("NewButton");
  Click("EditButton");
  EXPECT_EQ(RuleNames(), (Names{"Dispatch"}));
  EXPECT_FALSE(stores_.rules.Changed());
}

TEST_F(RulesWindowTest, RenamingOnlyInLetterCaseIsRefusedAndTheDialogStays) {
  Have({"Dispatch"});
  Open();
  int result = -1;
  drive_ = [&](RuleDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), "Edit Rule");
    EXPECT_EQ(Find<QLineEdit>(&dialog, "RuleName")->text(), "Dispatch");
    SetText(dialog, "RuleName", "DISPATCH");
    ClickIn(dialog, "OkButton");
    result = dialog.result();
    EXPECT_TRUE(dialog.isVisible());
  };
  Click("EditButton");
  EXPECT_EQ(result, QDialog::Rejected);
  ASSERT_EQ(stores_.boxes.shown.size(), 1u);
  EXPECT_EQ(stores_.boxes.shown[0].text,
            "A rule already exists with this name, each rule must have a unique name.");
  EXPECT_EQ(Entries(), (Names{"Dispatch"}));
  EXPECT_FALSE(stores_.rules.Changed());
}

TEST_F(RulesWindowTest, EditRenamesTheEntryAndKeepsItsCheck) {
  Have({"Dispatch", "Fire"}, {false, true});
  Open();
  drive_ = [&](RuleDialog& dialog) {
    SetText(dialog, "RuleName", "Dispatch North");
    ClickIn(dialog, "OkButton");
  };
  Click("EditButton");
  EXPECT_EQ(Entries(), (Names{"Dispatch North", "Fire"}));
  EXPECT_EQ(Checks(), (std::vector<bool>{false, true}));
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_TRUE(stores_.rules.Changed());
}

TEST_F(RulesWindowTest, OkWithPlaySoundAndNoFileKeepsTheDialogOpen) {
  Have({"Dispatch"});
  Open();
  bool filename_enabled_before = true;
  bool filename_enabled_after = false;
  drive_ = [&](RuleDialog& dialog) {
    filename_enabled_before = Find<QPushButton>(&dialog, "SoundFilenameButton")->isEnabled();
    SetText(dialog, "RuleName", "Fire");
    ClickIn(dialog, "PlaySoundCheckbox");
    filename_enabled_after = Find<QPushButton>(&dialog, "SoundFilenameButton")->isEnabled();
    ClickIn(dialog, "OkButton");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  };
  Click("NewButton");
  EXPECT_FALSE(filename_enabled_before);
  EXPECT_TRUE(filename_enabled_after);
  ASSERT_EQ(stores_.boxes.shown.size(), 1u);
  EXPECT_EQ(stores_.boxes.shown[0].text, "Filename to play to must be supplied.");
  EXPECT_EQ(stores_.boxes.shown[0].title, "Play Sound");
  EXPECT_EQ(RuleNames(), (Names{"Dispatch"}));
  EXPECT_FALSE(stores_.rules.Changed());
}

TEST_F(RulesWindowTest, FileButtonsStoreThePendingNamesAndShowMissingFilesInRed) {
  kestrel_test::ScratchDirectory scratch("rules_window_test");
  const std::string present = scratch.Write("alarm.wav", "RIFF");
  const std::string gone = scratch.Path("gone.txt");
  Have({"Dispatch"});
  stores_.rules.At(1)->LogFile = true;
  stores_.rules.At(1)->LogFilename = gone;
  Open();
  std::vector<std::string> played;
  hooks_.play_sound = [&](const std::string& file) {
    played.push_back(file);
    return false;
  };
  window_->SetRuleDialogHooks(hooks_);
  drive_ = [&](RuleDialog& dialog) {
    auto* log_label = Find<QLabel>(&dialog, "LogFilenameLabel");
    EXPECT_EQ(log_label->text(), "gone.txt");
    EXPECT_TRUE(log_label->styleSheet().contains("red"));
    EXPECT_TRUE(log_label->toolTip().contains("no longer exists"));
    EXPECT_FALSE(Find<QPushButton>(&dialog, "PlaySoundButton")->isEnabled());
    ClickIn(dialog, "PlaySoundCheckbox");
    file_answer_ = present;
    ClickIn(dialog, "SoundFilenameButton");
    auto* sound_label = Find<QLabel>(&dialog, "SoundFilenameLabel");
    EXPECT_EQ(sound_label->text(), "alarm.wav");
    EXPECT_FALSE(sound_label->styleSheet().contains("red"));
    EXPECT_TRUE(Find<QPushButton>(&dialog, "PlaySoundButton")->isEnabled());
    ClickIn(dialog, "PlaySoundButton");
    file_answer_.clear();  // Cancel keeps the name
    ClickIn(dialog, "LogFilenameButton");
    EXPECT_EQ(log_label->text(), "gone.txt");
    ClickIn(dialog, "OkButton");
  };
  Click("EditButton");
  EXPECT_EQ(asked_, (Names{"Play Sound", "Log messages to file"}));
  EXPECT_EQ(played, (Names{present}));
  ASSERT_EQ(stores_.boxes.shown.size(), 1u);
  EXPECT_EQ(stores_.boxes.shown[0].text, "Unable to play " + present);
  const Rule* rule = stores_.rules.At(1);
  EXPECT_TRUE(rule->PlaySound);
  EXPECT_EQ(rule->SoundFilename, present);
  EXPECT_EQ(rule->LogFilename, gone);
}

TEST_F(RulesWindowTest, SettingsHooksEditThePendingValuesUntilOk) {
  Have({"Dispatch"});
  int alert_calls = 0;
  hooks_.alert = [&](QWidget* parent, Rule& pending) {
    ++alert_calls;
    EXPECT_NE(parent, nullptr);
    EXPECT_TRUE(pending.Alert);
    pending.AlertForegroundColor = 255;
    pending.Name = "ignored";
  };
  hooks_.log_message = [&](QWidget*, Rule& pending) {
    pending.LogMessageColor = 65280;
    pending.LogMessageOccurence = 0;  // incomplete: the dialog unchecks the action
    pending.LogMessages = false;
  };
  Rule& stored = *stores_.rules.At(1);
  stored.LogMessageVerb = "after";
  stored.LogMessageOccurence = 2;
  stored.LogMessageCharacter = "space";
  Open();
  drive_ = [&](RuleDialog& dialog) {
    ClickIn(dialog, "AlertCheckbox");
    ClickIn(dialog, "AlertConfigureButton");
    ClickIn(dialog, "LogMessagesCheckBox");
    EXPECT_TRUE(Find<QCheckBox>(&dialog, "LogMessagesCheckBox")->isChecked());
    ClickIn(dialog, "LogMessagesConfigureButton");
    EXPECT_FALSE(Find<QCheckBox>(&dialog, "LogMessagesCheckBox")->isChecked());
    // Checking it again runs the completeness test on what the settings left.
    ClickIn(dialog, "LogMessagesCheckBox");
    EXPECT_FALSE(Find<QCheckBox>(&dialog, "LogMessagesCheckBox")->isChecked());
    ClickIn(dialog, "EMailMessagesConfigureButton");  // no hook: nothing happens
    ClickIn(dialog, "OkButton");
  };
  Click("EditButton");
  EXPECT_EQ(alert_calls, 1);
  ASSERT_EQ(stores_.boxes.shown.size(), 1u);
  EXPECT_EQ(stores_.boxes.shown[0].text,
            "Not all information has been entered in the 'Log message in Messages window' "
            "configuration window.");
  const Rule* rule = stores_.rules.At(1);
  EXPECT_EQ(rule->Name, "Dispatch");
  EXPECT_TRUE(rule->Alert);
  EXPECT_EQ(rule->AlertForegroundColor, 255);
  EXPECT_FALSE(rule->LogMessages);
  EXPECT_EQ(rule->LogMessageColor, 65280);
}

TEST_F(RulesWindowTest, CheckingEMailNeedsTheAddressesAndWarnsOfNoServer) {
  Have({"Dispatch"});
  Rule& stored = *stores_.rules.At(1);
  stored.EMailMessageFromAddress = "desk@example.org";
  stored.EMailMessageVerb = "with";
  stored.EMailMessageOccurence = -1;
  stored.EMailMessageCharacter = "Unit";
  Open();
  bool checked_without_address = true;
  drive_ = [&](RuleDialog& dialog) {
    auto* email = Find<QCheckBox>(&dialog, "EMailMessagesCheckbox");
    email->click();
    checked_without_address = email->isChecked();
    dialog.reject();
  };
  Click("EditButton");
  EXPECT_FALSE(checked_without_address);
  stores_.rules.At(1)->EMailMessageToAddress = "chief@example.org";
  bool checked_with_addresses = false;
  drive_ = [&](RuleDialog& dialog) {
    auto* email = Find<QCheckBox>(&dialog, "EMailMessagesCheckbox");
    email->click();
    checked_with_addresses = email->isChecked();
    dialog.reject();
  };
  Click("EditButton");
  EXPECT_TRUE(checked_with_addresses);
  ASSERT_EQ(stores_.boxes.shown.size(), 2u);
  EXPECT_EQ(stores_.boxes.shown[0].text,
            "Not all information has been entered in the 'Send e-mail message' configuration "
            "window.");
  EXPECT_EQ(stores_.boxes.shown[1].text,
            "The 'SMTP Mail Server' value in View|Options must be filled-in for this rule to "
            "work.");
}

TEST_F(RulesWindowTest, ExportAndImportRoundTripThroughTheButtons) {
  kestrel_test::ScratchDirectory scratch("rules_window_test");
  Have({"Dispatch", "Fire"}, {true, false});
  stores_.rules.At(2)->SentTo = "12#";
  stores_.rules.SetChanged(true);
  Open();
  file_answer_ = scratch.Path("rules.ini");
  Click("ExportRulesButton");
  EXPECT_FALSE(stores_.rules.Changed());
  Click("ImportRulesButton");
  EXPECT_EQ(asked_, (Names{"Export Rules To", "Import Rules From"}));
  EXPECT_EQ(Entries(), (Names{"Dispatch", "Fire", "Dispatch (duplicate)", "Fire (duplicate)"}));
  EXPECT_EQ(Checks(), (std::vector<bool>{true, false, true, false}));
  EXPECT_EQ(stores_.rules.At(4)->SentTo, "12#");
  EXPECT_TRUE(stores_.rules.Changed());
  EXPECT_TRUE(stores_.boxes.shown.empty());
  // Export again over the file: the overwrite question; No keeps it.
  stores_.boxes.answer = MessageBoxes::Answer::kNo;
  const std::string before = scratch.Read("rules.ini");
  Click("ExportRulesButton");
  EXPECT_EQ(scratch.Read("rules.ini"), before);
  ASSERT_EQ(stores_.boxes.shown.size(), 1u);
  EXPECT_EQ(stores_.boxes.shown[0].text, "File already exists, overwrite?");
}

TEST_F(RulesWindowTest, ImportIntoAnEmptyWindowEnablesTheButtons) {
  kestrel_test::ScratchDirectory scratch("rules_window_test");
  file_answer_ = scratch.Write("one.ini", "[Rules]\r\nRules=1\r\nName1=Fire\r\nActive1=True\r\n");
  Open();
  Click("ImportRulesButton");
  EXPECT_EQ(Entries(), (Names{"Fire"}));
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_TRUE(Enabled("EditButton") && Enabled("ExportRulesButton"));
  file_answer_ = scratch.Path("absent.ini");
  Click("ImportRulesButton");
  ASSERT_EQ(stores_.boxes.shown.size(), 1u);
  EXPECT_EQ(stores_.boxes.shown[0].text, "File not found");
}

TEST_F(RulesWindowTest, ReloadFollowsARuleSetReplacedBehindTheWindow) {
  Have({"Dispatch", "Fire"});
  Open();
  SelectEntry(1);
  stores_.rules.Clear();
  ASSERT_TRUE(stores_.rules.Add("Medical"));
  window_->Reload();
  EXPECT_EQ(Entries(), (Names{"Medical"}));
  EXPECT_EQ(List()->currentRow(), 0);
  EXPECT_FALSE(Enabled("MoveDownButton"));
}

TEST_F(RulesWindowTest, TheMenuCommandShowsOneWindowAtATime) {
  Have({"Dispatch"});
  QPointer<RulesWindow> slot;
  RulesWindow* first =
      ShowRulesWindow(slot, stores_.rules, stores_.settings, stores_.boxes, nullptr);
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(first->isVisible());
  EXPECT_EQ(first->focusWidget(), first->findChild<QPushButton*>("NewButton"));
  EXPECT_EQ(ShowRulesWindow(slot, stores_.rules, stores_.settings, stores_.boxes, nullptr), first);
  first->findChild<QPushButton*>("CloseButton")->click();
  kestrel_test::DeleteClosedWindows();
  EXPECT_TRUE(slot.isNull());
  RulesWindow* second =
      ShowRulesWindow(slot, stores_.rules, stores_.settings, stores_.boxes, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(slot.data(), second);
  second->close();
}

TEST_F(RulesWindowTest, TextBoxesHoldWhatTheFilesReadBack) {
  Open();
  drive_ = [&](RuleDialog& dialog) {
    for (const char* name : {"RuleName", "SentTo", "MessageBody"}) {
      auto* box = Find<QLineEdit>(&dialog, name);
      box->setText(QString(1024, QChar('x')));
      EXPECT_EQ(box->text().size(), 1023) << name;
    }
    ClickIn(dialog, "OkButton");
  };
  Click("NewButton");
  ASSERT_EQ(stores_.rules.Count(), 1);
  EXPECT_EQ(stores_.rules.At(1)->Name, std::string(1023, 'x'));
}

// Every caption fits its control at the windows' natural sizes, and the list and the text boxes
// take the room a larger window gives. KESTREL_SCREENSHOTS names a directory for pictures.
TEST_F(RulesWindowTest, CaptionsFitAndTheControlsFollowTheWindowSize) {
  Have({"Dispatch", "Fire"});
  Rule& shown = *stores_.rules.At(1);
  shown.LogFile = true;
  shown.LogFilename = "/nowhere/dispatch log with a rather long name.txt";
  shown.PlaySound = true;
  shown.SoundFilename = "/nowhere/alarm.wav";
  Open();
  const char* directory = std::getenv("KESTREL_SCREENSHOTS");
  window_->resize(window_->sizeHint());
  for (QPushButton* button : window_->findChildren<QPushButton*>()) {
    EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
  }
  if (directory) window_->grab().save(QString(directory) + "/configure_rules.png");
  const int list_width = List()->width();
  window_->resize(window_->width() + 200, window_->height() + 100);
  EXPECT_EQ(List()->width(), list_width + 200);

  drive_ = [&](RuleDialog& dialog) {
    dialog.resize(dialog.sizeHint());
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
      EXPECT_GE(button->width(), button->sizeHint().width()) << button->objectName().toStdString();
    }
    if (directory) dialog.grab().save(QString(directory) + "/rule_edit.png");
    const int name_width = Find<QLineEdit>(&dialog, "RuleName")->width();
    dialog.resize(dialog.width() + 150, dialog.height());
    EXPECT_EQ(Find<QLineEdit>(&dialog, "RuleName")->width(), name_width + 150);
    dialog.reject();
  };
  Click("EditButton");
}

}  // namespace
}  // namespace kestrel
