#include "app/rules/rules_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/scratch_directory.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// Builds "prefix" + number; GCC 12 warns falsely about string literal + std::string.
std::string Named(std::string prefix, int number) { return prefix += std::to_string(number); }

// A rule whose every field differs from a new rule's, and from the other rules' of `seed`.
Rule FullRule(int seed) {
  Rule rule;
  auto text = [&](const char* what) { return Named(what, seed); };
  rule.Name = text("Rule ");
  rule.SentTo = text("12#");
  rule.MessageBody = text("*fire*");
  rule.Active = true;
  rule.Alert = true;
  rule.AlertBackgroundColor = -1;
  rule.AlertForegroundColor = 255 + seed;
  rule.LogMessages = true;
  rule.LogMessageType = text("Type ");
  rule.LogMessageTo = 3;
  rule.LogMessageVerb = "after";
  rule.LogMessageOccurence = -1;
  rule.LogMessageCharacter = text("word");
  rule.LogMessageColor = 16711680;
  rule.EMailMessages = true;
  rule.EMailMessageFromName = text("Kestrel ");
  rule.EMailMessageFromAddress = text("from@example.org ");
  rule.EMailMessageToAddress = text("a@example.org; b@example.org ");
  rule.EMailMessageSubject = text("%T ");
  rule.EMailMessageVerb = "with";
  rule.EMailMessageOccurence = int16_t(32767 - seed);
  rule.EMailMessageCharacter = "linefeed";
  rule.EMailMessageCollapseSpaces = true;
  rule.EMailMessageHTMLFormatting = true;
  rule.EMailMessageDisabledHours = "0:0,0:1,6:23";
  rule.EMailMessageSplit = true;
  rule.EMailMessageSplitChars = int16_t(500 + seed);
  rule.EMailMessageLimit = true;
  rule.EMailMessageLimitChars = -32768;
  rule.LogFile = true;
  rule.LogFilename = text("logs/rule ");
  rule.LogPrinter = true;
  rule.PlaySound = true;
  rule.SoundFilename = text("sounds/alarm ");
  rule.BeepOnMatch = true;
  rule.NoFurther = true;
  return rule;
}

class RulesFileTest : public ::testing::Test {
 protected:
  void WriteFile(std::string_view content) { std::ofstream(path_, std::ios::binary) << content; }
  std::string ReadFile() {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  Names AllNames(const RulesClass& rules) {
    Names names;
    for (int i = 1; i <= rules.Count(); ++i) names.push_back(rules.At(i)->Name);
    return names;
  }
  // Reads `section_body` (the lines after "[Rules]") into the rule set.
  int Read(std::string_view section_body, RuleNameClash clash = RuleNameClash::kRename) {
    IniFile ini;
    EXPECT_TRUE(ini.Parse("[Rules]\n" + std::string(section_body)));
    return ReadRulesSection(ini, rules_, clash);
  }

  kestrel_test::ScratchDirectory scratch_{"rules_file_test"};
  const fs::path directory_ = scratch_.path();
  const std::string path_ = scratch_.Path("rules.ini");
  Settings settings_;
  RecordingMessageBoxes boxes_;
  ErrorReporter errors_{settings_, boxes_};
  RulesClass rules_{errors_};
};

TEST_F(RulesFileTest, ExportThenImportReproducesEveryField) {
  std::vector<Rule> expected;
  for (int seed = 1; seed <= 3; ++seed) {
    expected.push_back(FullRule(seed));
    ASSERT_TRUE(rules_.Append(expected.back()));
  }
  // The longest texts a file can carry, and the quotes and blanks the INI format would eat.
  expected[1].MessageBody = std::string(1023, 'm');
  expected[1].EMailMessageToAddress = std::string(1000, 'x') + "\xE9\xFF";
  expected[2].SentTo = "\"quoted\"";
  expected[2].LogMessageType = "  padded ";
  expected[2].AlertForegroundColor = -1;
  expected[2].LogMessageColor = -1;
  for (int i = 1; i <= 3; ++i) *rules_.At(i) = expected[size_t(i - 1)];
  rules_.SetChanged(true);
  ASSERT_TRUE(ExportRules(rules_, path_));
  EXPECT_FALSE(rules_.Changed());

  Settings settings;
  RecordingMessageBoxes boxes;
  ErrorReporter errors(settings, boxes);
  RulesClass imported(errors);
  ASSERT_EQ(ImportRules(imported, path_), RulesImport::kImported);
  EXPECT_TRUE(imported.Changed());
  ASSERT_EQ(imported.Count(), 3);
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(*imported.At(i), expected[size_t(i - 1)]) << i;
  EXPECT_EQ(imported.Index(), 3);
}

TEST_F(RulesFileTest, ExportWritesTheCountThenEachRulesKeysInOrder) {
  ASSERT_TRUE(rules_.Append(FullRule(1)));
  ASSERT_TRUE(ExportRules(rules_, path_));
  const std::string content = ReadFile();
  const std::string head = "[Rules]\r\nRules=1\r\nName1=Rule 1\r\nSentTo1=12#1\r\n";
  EXPECT_EQ(content.substr(0, head.size()), head);
  IniFile ini;
  ASSERT_TRUE(ini.Parse(content));
  // Where the export order differs from the profile's: Active and NoFurther come last.
  const Names keys = ini.Keys("Rules");
  ASSERT_EQ(keys.size(), 37u);
  EXPECT_EQ(Names(keys.begin(), keys.begin() + 4),
            (Names{"Rules", "Name1", "SentTo1", "MessageBody1"}));
  EXPECT_EQ(Names(keys.end() - 6, keys.end()), (Names{"LogPrinter1", "PlaySound1", "BeepOnMatch1",
                                                      "SoundFilename1", "Active1", "NoFurther1"}));
  EXPECT_EQ(ini.Read("Rules", "Alert1"), "True");
  EXPECT_EQ(ini.Read("Rules", "AlertBackgroundColor1"), "-1");
  EXPECT_EQ(ini.Read("Rules", "LogMessageColor1"), "16711680");
  EXPECT_EQ(ini.Read("Rules", "EMailMessageLimitChars1"), "-32768");

  // A smaller set replaces the whole file: no keys of the earlier export survive.
  rules_.Clear();
  ASSERT_TRUE(ExportRules(rules_, path_));
  EXPECT_EQ(ReadFile(), "[Rules]\r\nRules=0\r\n");
  rules_.AddDefaultRules();
  ASSERT_EQ(ImportRules(rules_, path_), RulesImport::kImported);
  EXPECT_EQ(rules_.Count(), 2);
  EXPECT_TRUE(rules_.Changed());  // even when nothing came in
}

TEST_F(RulesFileTest, ExportOfATextWithALineBreakFailsAndKeepsTheFile) {
  WriteFile("[Rules]\r\nRules=0\r\n");
  ASSERT_TRUE(rules_.Append(FullRule(1)));
  rules_.Current()->EMailMessageSubject = "two\r\nlines";
  rules_.SetChanged(true);
  EXPECT_FALSE(ExportRules(rules_, path_));
  EXPECT_EQ(ReadFile(), "[Rules]\r\nRules=0\r\n");
  EXPECT_TRUE(rules_.Changed());

  IniFile ini;
  EXPECT_FALSE(WriteRulesSection(ini, rules_));
  EXPECT_EQ(ini.Read("Rules", "EMailMessageSubject1"), "");
  EXPECT_EQ(ini.Read("Rules", "SoundFilename1"), "sounds/alarm 1");  // the rest is written
}

TEST_F(RulesFileTest, ClashingNamesAreRenamedOrSkipped) {
  ASSERT_TRUE(rules_.Add("Dispatch"));
  ASSERT_TRUE(rules_.Add("Dispatch (duplicate)"));
  EXPECT_EQ(Read("Rules=2\nName1=Dispatch\nSentTo1=77\nName2=dispatch\n"), 2);
  EXPECT_EQ(AllNames(rules_), (Names{"Dispatch", "Dispatch (duplicate)", "Dispatch (duplicate 2)",
                                     "dispatch (duplicate 3)"}));
  EXPECT_EQ(rules_.At(3)->SentTo, "77");
  EXPECT_EQ(rules_.Index(), 4);

  // The same file twice: each rule gets a twin.
  rules_.Clear();
  rules_.AddDefaultRules();
  ASSERT_TRUE(ExportRules(rules_, path_));
  ASSERT_EQ(ImportRules(rules_, path_), RulesImport::kImported);
  EXPECT_EQ(AllNames(rules_), (Names{"MDT Messages", "Dispatch", "MDT Messages (duplicate)",
                                     "Dispatch (duplicate)"}));
  EXPECT_EQ(rules_.At(4)->LogMessageColor, 16711680);

  // The profile's load keeps what it holds and leaves the clashing rule out.
  rules_.At(2)->SentTo = "kept";
  EXPECT_EQ(Read("Rules=2\nName1=DISPATCH\nSentTo1=lost\nName2=New\n", RuleNameClash::kSkip), 1);
  EXPECT_EQ(rules_.At(2)->SentTo, "kept");
  EXPECT_EQ(AllNames(rules_).back(), "New");
  EXPECT_EQ(rules_.Current()->Name, "New");
}

TEST_F(RulesFileTest, ManySameNamesStayQuick) {
  std::string body = "Rules=3000\n";
  for (int n = 1; n <= 3000; ++n) body += Named("Name", n) + "=Same\n";
  EXPECT_EQ(Read(body), 3000);
  EXPECT_EQ(rules_.At(3000)->Name, "Same (duplicate 2999)");
}

TEST_F(RulesFileTest, OnlyPresentNamesWithinTheCountAreRead) {
  EXPECT_EQ(Read("Rules=5\nName1=One\nName2=\nSentTo2=orphan\nName4=Four\nName6=Beyond\n"
                 "Name03=Zero padded\nname5=Five\n"),
            3);
  EXPECT_EQ(AllNames(rules_), (Names{"One", "Four", "Five"}));
  EXPECT_EQ(rules_.At(2)->SentTo, "");  // not shifted up from the skipped rule 2

  rules_.Clear();
  EXPECT_EQ(Read("Rules=2000000000\nName1999999999=Far\nName7=Near\n"), 2);
  EXPECT_EQ(AllNames(rules_), (Names{"Near", "Far"}));
}

TEST_F(RulesFileTest, ValuesAreNormalisedOnReading) {
  EXPECT_EQ(Read("Rules=3\n"
                 "Name1=Old\nLogMessageVerb1=with the\nEMailMessageVerb1=with the\n"
                 "LogMessageTo1=0\nLogMessageOccurence1=3 times\nEMailMessageOccurence1=-1\n"
                 "AlertBackgroundColor1=\nLogMessageColor1=255\n"
                 "Alert1=TRUE\nLogMessages1=-1\nEMailMessages1=0\nLogFile1=yes\nActive1=1.0\n"
                 "EMailMessageSplitChars1=2.5\nEMailMessageLimitChars1=70000\n"
                 "Name2=Missing keys\n"
                 "Name3=Odd\nLogMessageVerb3=With the\nLogMessageTo3=x\nAlertForegroundColor3=red\n"
                 "EMailMessageSplitChars3=12abc\nLogMessageOccurence3=99999\nNoFurther3=true\n"),
            3);
  const Rule& old = *rules_.At(1);
  EXPECT_EQ(old.LogMessageVerb, "with");
  EXPECT_EQ(old.EMailMessageVerb, "with");
  EXPECT_EQ(old.LogMessageTo, 2);
  EXPECT_EQ(old.LogMessageOccurence, 3);
  EXPECT_EQ(old.EMailMessageOccurence, -1);
  EXPECT_EQ(old.AlertBackgroundColor, -1);
  EXPECT_EQ(old.LogMessageColor, 255);
  EXPECT_TRUE(old.Alert);
  EXPECT_TRUE(old.LogMessages);
  EXPECT_FALSE(old.EMailMessages);
  EXPECT_FALSE(old.LogFile);
  EXPECT_TRUE(old.Active);
  EXPECT_EQ(old.EMailMessageSplitChars, 2);  // halves go to the even neighbour
  EXPECT_EQ(old.EMailMessageLimitChars, 0);  // no 16-bit value

  Rule missing;
  missing.Name = "Missing keys";
  missing.AlertBackgroundColor = missing.AlertForegroundColor = missing.LogMessageColor = -1;
  missing.LogMessageTo = 2;
  EXPECT_EQ(*rules_.At(2), missing);

  const Rule& odd = *rules_.At(3);
  EXPECT_EQ(odd.LogMessageVerb, "With the");  // only the spelling older versions wrote
  EXPECT_EQ(odd.LogMessageTo, 2);
  EXPECT_EQ(odd.AlertForegroundColor, -1);
  EXPECT_EQ(odd.EMailMessageSplitChars, 0);
  EXPECT_EQ(odd.LogMessageOccurence, 0);
  EXPECT_TRUE(odd.NoFurther);
}

TEST_F(RulesFileTest, UnusableFilesImportNothing) {
  rules_.AddDefaultRules();
  EXPECT_EQ(ImportRules(rules_, path_), RulesImport::kNotFound);
  for (const char* content : {"[Rules]\r\nName1=A\r\n", "[Rules]\r\nRules=many\r\nName1=A\r\n",
                              "[Rules]\r\nRules=-1\r\nName1=A\r\n", "[Other]\r\nRules=1\r\n"}) {
    WriteFile(content);
    EXPECT_EQ(ImportRules(rules_, path_), RulesImport::kInvalid) << content;
  }
  fs::create_directory(directory_ / "folder.ini");
  EXPECT_EQ(ImportRules(rules_, (directory_ / "folder.ini").string()), RulesImport::kInvalid);
  EXPECT_EQ(rules_.Count(), 2);
  EXPECT_FALSE(rules_.Changed());
}

}  // namespace
}  // namespace kestrel
