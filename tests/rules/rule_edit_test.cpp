#include "app/rules/rule_edit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/rules/action_settings.h"
#include "support/program_stores.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

using Icon = MessageBoxes::Icon;
using Names = std::vector<std::string>;

class RuleEditTest : public ::testing::Test {
 protected:
  // Rules named as given, each Active as `active` says (all active when shorter).
  void Have(const Names& names, const std::vector<bool>& active = {}) {
    for (size_t i = 0; i < names.size(); ++i) {
      ASSERT_TRUE(stores_.rules.Add(names[i]));
      stores_.rules.Current()->Active = i < active.size() ? active[i] : true;
    }
    stores_.rules.SetChanged(false);
  }
  Names RuleNames() const {
    Names names;
    for (int i = 1; i <= rules().Count(); ++i) names.push_back(rules().At(i)->Name);
    return names;
  }
  const RulesClass& rules() const { return stores_.rules; }
  std::vector<RecordingMessageBoxes::Shown>& shown() { return stores_.boxes.shown; }

  kestrel_test::ProgramStores stores_;
};

TEST(NewRulePending, StartsWithTheDefaultsOfANewRule) {
  const Rule rule = NewRulePending();
  EXPECT_EQ(rule.AlertBackgroundColor, -1);
  EXPECT_EQ(rule.AlertForegroundColor, -1);
  EXPECT_EQ(rule.LogMessageTo, 2);
  EXPECT_EQ(rule.LogMessageVerb, "with");
  EXPECT_EQ(rule.LogMessageOccurence, 1);
  EXPECT_EQ(rule.LogMessageCharacter, "character");
  EXPECT_EQ(rule.LogMessageColor, -1);
  EXPECT_EQ(rule.EMailMessageFromName, "Kestrel");
  EXPECT_EQ(rule.EMailMessageVerb, "with");
  EXPECT_EQ(rule.EMailMessageSplitChars, 240);
  EXPECT_EQ(rule.EMailMessageLimitChars, 240);
  EXPECT_FALSE(rule.Active || rule.Alert || rule.LogMessages || rule.EMailMessages ||
               rule.LogFile || rule.PlaySound || rule.NoFurther);
  EXPECT_TRUE(rule.Name.empty() && rule.LogFilename.empty() && rule.SoundFilename.empty());
  // A new rule's log sentence is complete; its e-mail lacks the addresses.
  EXPECT_TRUE(LogMessageSettingsComplete(rule));
  EXPECT_FALSE((CheckEMailSettings(rule, "mail.example.org") != EMailSettingsCheck::kIncomplete));
}

TEST(ActionCompleteness, TheSentenceNeedsAListedVerbOccurrenceAndACharacter) {
  Rule rule = NewRulePending();
  for (int occurrence : {-1, 1, 100}) {
    rule.LogMessageOccurence = int16_t(occurrence);
    EXPECT_TRUE(LogMessageSettingsComplete(rule)) << occurrence;
  }
  for (int occurrence : {0, 101, -2}) {
    rule.LogMessageOccurence = int16_t(occurrence);
    EXPECT_FALSE(LogMessageSettingsComplete(rule)) << occurrence;
  }
  rule = NewRulePending();
  rule.LogMessageVerb = "after";
  EXPECT_TRUE(LogMessageSettingsComplete(rule));
  for (const char* verb : {"", "with the", "With"}) {
    rule.LogMessageVerb = verb;
    EXPECT_FALSE(LogMessageSettingsComplete(rule)) << verb;
  }
  rule = NewRulePending();
  rule.LogMessageCharacter = "";
  EXPECT_FALSE(LogMessageSettingsComplete(rule));
}

TEST(ActionCompleteness, EMailNeedsBothAddressesAsWell) {
  Rule rule = NewRulePending();
  rule.EMailMessageFromAddress = "desk@example.org";
  rule.EMailMessageToAddress = "chief@example.org";
  EXPECT_TRUE((CheckEMailSettings(rule, "mail.example.org") != EMailSettingsCheck::kIncomplete));
  rule.EMailMessageToAddress.clear();
  EXPECT_FALSE((CheckEMailSettings(rule, "mail.example.org") != EMailSettingsCheck::kIncomplete));
  rule.EMailMessageToAddress = "chief@example.org";
  rule.EMailMessageFromAddress.clear();
  EXPECT_FALSE((CheckEMailSettings(rule, "mail.example.org") != EMailSettingsCheck::kIncomplete));
  rule.EMailMessageFromAddress = "desk@example.org";
  rule.EMailMessageCharacter.clear();
  EXPECT_FALSE((CheckEMailSettings(rule, "mail.example.org") != EMailSettingsCheck::kIncomplete));
  // The Messages-window sentence is not the e-mail's.
  rule.EMailMessageCharacter = "space";
  rule.LogMessageCharacter.clear();
  EXPECT_TRUE((CheckEMailSettings(rule, "mail.example.org") != EMailSettingsCheck::kIncomplete));
}

TEST(RulesButtonStates, FollowTheListAndItsSelection) {
  RulesButtons none = RulesButtonStates(0, -1);
  EXPECT_FALSE(none.edit || none.move_up || none.move_down);
  RulesButtons one = RulesButtonStates(1, 0);
  EXPECT_TRUE(one.edit);
  EXPECT_FALSE(one.move_up || one.move_down);
  RulesButtons first = RulesButtonStates(3, 0);
  EXPECT_FALSE(first.move_up);
  EXPECT_TRUE(first.move_down);
  RulesButtons middle = RulesButtonStates(3, 1);
  EXPECT_TRUE(middle.move_up && middle.move_down);
  RulesButtons last = RulesButtonStates(3, 2);
  EXPECT_TRUE(last.move_up);
  EXPECT_FALSE(last.move_down);
  RulesButtons unselected = RulesButtonStates(3, -1);
  EXPECT_TRUE(unselected.edit);
  EXPECT_FALSE(unselected.move_up || unselected.move_down);
  RulesButtons beyond = RulesButtonStates(3, 3);
  EXPECT_FALSE(beyond.move_up || beyond.move_down);
}

TEST_F(RuleEditTest, DeleteSelectsTheNextEntryAndLastOfAllNone) {
  Have({"A", "B", "C"});
  EXPECT_EQ(DeleteRuleAt(stores_.rules, 1), 1);
  EXPECT_EQ(RuleNames(), (Names{"A", "C"}));
  EXPECT_TRUE(rules().Changed());
  EXPECT_EQ(DeleteRuleAt(stores_.rules, 1), 0);
  EXPECT_EQ(DeleteRuleAt(stores_.rules, 0), -1);
  EXPECT_EQ(rules().Count(), 0);
  stores_.rules.SetChanged(false);
  EXPECT_EQ(DeleteRuleAt(stores_.rules, 0), -1);
  EXPECT_FALSE(rules().Changed());
  EXPECT_TRUE(shown().empty());
}

TEST_F(RuleEditTest, CopyAppendsCopyOfWithTheSameSettings) {
  Have({"Dispatch", "Fire"}, {false, true});
  stores_.rules.At(1)->SentTo = "12#";
  EXPECT_EQ(CopyRuleAt(stores_.rules, 0, stores_.boxes), 2);
  EXPECT_EQ(RuleNames(), (Names{"Dispatch", "Fire", "Copy of Dispatch"}));
  EXPECT_EQ(rules().At(3)->SentTo, "12#");
  EXPECT_FALSE(rules().At(3)->Active);
  EXPECT_TRUE(rules().Changed());
  // A copy of the copy is named after the copy.
  EXPECT_EQ(CopyRuleAt(stores_.rules, 2, stores_.boxes), 3);
  EXPECT_EQ(rules().At(4)->Name, "Copy of Copy of Dispatch");
  EXPECT_TRUE(shown().empty());
}

TEST_F(RuleEditTest, CopyWhenTheCopyExistsShowsTheErrorAndAddsNothing) {
  Have({"Dispatch", "copy of dispatch"});
  EXPECT_EQ(CopyRuleAt(stores_.rules, 0, stores_.boxes), -1);
  EXPECT_EQ(rules().Count(), 2);
  EXPECT_FALSE(rules().Changed());
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text, "An error occured while making a copy of the selected rule.");
  EXPECT_EQ(shown()[0].title, "Kestrel Error");
  EXPECT_EQ(shown()[0].icon, Icon::kStop);
  // Nothing selected: the rule cannot be found.
  EXPECT_EQ(CopyRuleAt(stores_.rules, -1, stores_.boxes), -1);
  EXPECT_EQ(shown().back().text, "Unable to find rule in memory.");
}

TEST_F(RuleEditTest, MovesSwapNeighboursAndKeepBothActiveMarks) {
  Have({"A", "B", "C"}, {true, false, true});
  EXPECT_EQ(MoveRuleUp(stores_.rules, 1), 0);
  EXPECT_EQ(RuleNames(), (Names{"B", "A", "C"}));
  EXPECT_FALSE(rules().At(1)->Active);
  EXPECT_TRUE(rules().At(2)->Active);
  EXPECT_TRUE(rules().Changed());
  EXPECT_EQ(MoveRuleDown(stores_.rules, 1), 2);
  EXPECT_EQ(RuleNames(), (Names{"B", "C", "A"}));
  // At either end nothing moves and nothing changes.
  stores_.rules.SetChanged(false);
  EXPECT_EQ(MoveRuleUp(stores_.rules, 0), 0);
  EXPECT_EQ(MoveRuleDown(stores_.rules, 2), 2);
  EXPECT_EQ(MoveRuleUp(stores_.rules, -1), -1);
  EXPECT_EQ(RuleNames(), (Names{"B", "C", "A"}));
  EXPECT_FALSE(rules().Changed());
}

TEST_F(RuleEditTest, NewRuleIsAddedActiveWithEveryPendingValue) {
  Have({"Dispatch"});
  Rule edited = NewRulePending();
  edited.Name = "Fire";
  edited.MessageBody = "*FIRE*";
  edited.LogMessages = true;
  edited.LogMessageColor = 255;
  edited.EMailMessageDisabledHours = "0:0,1:9";
  edited.NoFurther = true;
  EXPECT_EQ(AcceptRuleDialog(stores_.rules, RuleDialogMode::kNew, "", edited, stores_.boxes), 1);
  Rule expected = edited;
  expected.Active = true;
  EXPECT_EQ(*rules().At(2), expected);
  EXPECT_TRUE(rules().Changed());
  EXPECT_TRUE(shown().empty());
}

TEST_F(RuleEditTest, NewRuleWithATakenNameIsRefused) {
  Have({"Dispatch"});
  Rule edited = NewRulePending();
  edited.Name = "DISPATCH";
  EXPECT_EQ(AcceptRuleDialog(stores_.rules, RuleDialogMode::kNew, "", edited, stores_.boxes), -1);
  EXPECT_EQ(RuleNames(), (Names{"Dispatch"}));
  EXPECT_FALSE(rules().Changed());
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text, "The rule name conflicts with an existing rule.");
  EXPECT_EQ(shown()[0].title, "Rule Name Conflict");
  EXPECT_EQ(shown()[0].icon, Icon::kExclamation);
}

TEST_F(RuleEditTest, RenamingOnlyInLetterCaseIsRefused) {
  Have({"Dispatch"});
  Rule edited = *rules().At(1);
  edited.Name = "DISPATCH";
  EXPECT_EQ(
      AcceptRuleDialog(stores_.rules, RuleDialogMode::kEdit, "Dispatch", edited, stores_.boxes),
      -1);
  EXPECT_EQ(RuleNames(), (Names{"Dispatch"}));
  EXPECT_FALSE(rules().Changed());
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text,
            "A rule already exists with this name, each rule must have a unique name.");
  EXPECT_EQ(shown()[0].title, "Rule Name Conflict");
  EXPECT_EQ(shown()[0].icon, Icon::kStop);
}

TEST_F(RuleEditTest, EditRenamesKeepsActiveAndRefusesAnotherRulesName) {
  Have({"Dispatch", "Fire"}, {false, true});
  Rule edited = *rules().At(1);
  edited.Name = "Fire";
  EXPECT_EQ(
      AcceptRuleDialog(stores_.rules, RuleDialogMode::kEdit, "Dispatch", edited, stores_.boxes),
      -1);
  EXPECT_EQ(RuleNames(), (Names{"Dispatch", "Fire"}));
  // Keeping the name, and a new name, are both fine; the list's check decides Active.
  edited.Name = "Dispatch";
  edited.Active = true;
  edited.SentTo = "1234";
  EXPECT_EQ(
      AcceptRuleDialog(stores_.rules, RuleDialogMode::kEdit, "Dispatch", edited, stores_.boxes), 0);
  EXPECT_EQ(rules().At(1)->SentTo, "1234");
  EXPECT_FALSE(rules().At(1)->Active);
  edited.Name = "Dispatch North";
  EXPECT_EQ(
      AcceptRuleDialog(stores_.rules, RuleDialogMode::kEdit, "Dispatch", edited, stores_.boxes), 0);
  EXPECT_EQ(RuleNames(), (Names{"Dispatch North", "Fire"}));
  EXPECT_TRUE(rules().Contains("dispatch north"));
  EXPECT_FALSE(rules().Contains("Dispatch"));
  EXPECT_EQ(shown().size(), 1u);
}

TEST_F(RuleEditTest, EditOfARuleThatIsGoneIsRefused) {
  Have({"Fire"});
  Rule edited = NewRulePending();
  edited.Name = "Dispatch";
  EXPECT_EQ(
      AcceptRuleDialog(stores_.rules, RuleDialogMode::kEdit, "Dispatch", edited, stores_.boxes),
      -1);
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text, "Unable to find rule in memory.");
  EXPECT_EQ(shown()[0].title, "Kestrel Error");
  EXPECT_EQ(shown()[0].icon, Icon::kExclamation);
  EXPECT_EQ(RuleNames(), (Names{"Fire"}));
}

TEST_F(RuleEditTest, FileActionsWithoutAFileKeepTheDialogOpen) {
  Have({"Fire"});
  Rule edited = NewRulePending();
  edited.Name = "Dispatch";
  edited.LogFile = true;
  edited.PlaySound = true;
  EXPECT_EQ(AcceptRuleDialog(stores_.rules, RuleDialogMode::kNew, "", edited, stores_.boxes), -1);
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text, "Filename to log messages to must be supplied.");
  EXPECT_EQ(shown()[0].title, "Log message to file");
  edited.LogFilename = "fire.txt";
  EXPECT_EQ(AcceptRuleDialog(stores_.rules, RuleDialogMode::kNew, "", edited, stores_.boxes), -1);
  ASSERT_EQ(shown().size(), 2u);
  EXPECT_EQ(shown()[1].text, "Filename to play to must be supplied.");
  EXPECT_EQ(shown()[1].title, "Play Sound");
  EXPECT_EQ(shown()[1].icon, Icon::kExclamation);
  EXPECT_EQ(RuleNames(), (Names{"Fire"}));
  EXPECT_FALSE(rules().Changed());
  // A file named, or the action off, lets it through.
  edited.PlaySound = false;
  EXPECT_EQ(AcceptRuleDialog(stores_.rules, RuleDialogMode::kNew, "", edited, stores_.boxes), 1);
}

class RulesFileCommandTest : public RuleEditTest {
 protected:
  // A file question that answers `answer` and remembers what it was asked.
  FileQuestion Answer(std::string answer) {
    return [this, answer](const std::string& title, const std::string& proposed,
                          const std::string& filter, const std::string& suffix) {
      asked_.push_back(title + "|" + proposed + "|" + filter + "|" + suffix);
      return answer;
    };
  }

  kestrel_test::ScratchDirectory scratch_{"rule_edit_test"};
  Names asked_;
};

TEST_F(RulesFileCommandTest, ExportWritesTheFileAndClearsChanged) {
  Have({"Dispatch", "Fire"}, {true, false});
  stores_.rules.SetChanged(true);
  const std::string path = scratch_.Path("rules.ini");
  EXPECT_TRUE(ExportRulesCommand(stores_.rules, stores_.boxes, Answer(path)));
  EXPECT_EQ(asked_, (Names{"Export Rules To|*.ini|*.ini|ini"}));
  EXPECT_FALSE(rules().Changed());
  EXPECT_TRUE(shown().empty());
  EXPECT_NE(scratch_.Read("rules.ini").find("Name2=Fire"), std::string::npos);
}

TEST_F(RulesFileCommandTest, CancelledQuestionsDoNothing) {
  Have({"Dispatch"});
  stores_.rules.SetChanged(true);
  EXPECT_FALSE(ExportRulesCommand(stores_.rules, stores_.boxes, Answer("")));
  EXPECT_TRUE(rules().Changed());
  stores_.rules.SetChanged(false);
  EXPECT_FALSE(ImportRulesCommand(stores_.rules, stores_.boxes, Answer("")));
  EXPECT_FALSE(rules().Changed());
  EXPECT_EQ(asked_.size(), 2u);
  EXPECT_TRUE(shown().empty());
}

TEST_F(RulesFileCommandTest, AnExistingFileIsOverwrittenOnlyOnYes) {
  Have({"Dispatch"});
  const std::string path = scratch_.Write("rules.ini", "keep me");
  stores_.boxes.answer = MessageBoxes::Answer::kNo;
  EXPECT_FALSE(ExportRulesCommand(stores_.rules, stores_.boxes, Answer(path)));
  EXPECT_EQ(scratch_.Read("rules.ini"), "keep me");
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text, "File already exists, overwrite?");
  EXPECT_EQ(shown()[0].title, "Overwrite file?");
  EXPECT_EQ(shown()[0].buttons, MessageBoxes::Buttons::kYesNo);
  stores_.boxes.answer = MessageBoxes::Answer::kYes;
  EXPECT_TRUE(ExportRulesCommand(stores_.rules, stores_.boxes, Answer(path)));
  EXPECT_NE(scratch_.Read("rules.ini").find("Name1=Dispatch"), std::string::npos);
  EXPECT_EQ(shown().size(), 2u);
}

TEST_F(RulesFileCommandTest, FailuresAreReportedAndChangeNothing) {
  Have({"Dispatch"});
  stores_.rules.SetChanged(true);
  EXPECT_FALSE(
      ExportRulesCommand(stores_.rules, stores_.boxes, Answer(scratch_.Path("missing/rules.ini"))));
  ASSERT_EQ(shown().size(), 1u);
  EXPECT_EQ(shown()[0].text, "Unable to write file, can't export rules.");
  EXPECT_TRUE(rules().Changed());

  stores_.rules.SetChanged(false);
  EXPECT_FALSE(
      ImportRulesCommand(stores_.rules, stores_.boxes, Answer(scratch_.Path("absent.ini"))));
  ASSERT_EQ(shown().size(), 2u);
  EXPECT_EQ(shown()[1].text, "File not found");
  const std::string junk = scratch_.Write("junk.ini", "[Rules]\nRules=many\nName1=X\n");
  EXPECT_FALSE(ImportRulesCommand(stores_.rules, stores_.boxes, Answer(junk)));
  ASSERT_EQ(shown().size(), 3u);
  EXPECT_EQ(shown()[2].text, "The file is not a rules file, no rules were imported.");
  EXPECT_EQ(RuleNames(), (Names{"Dispatch"}));
  EXPECT_FALSE(rules().Changed());
}

}  // namespace
}  // namespace kestrel
