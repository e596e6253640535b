#include "app/ui/program.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/profile/ini_file.h"
#include "support/fake_acquisition.h"
#include "support/fake_main_view.h"
#include "support/records.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

struct ProgramTest : testing::Test {
  kestrel_test::FakeMainView main;
  kestrel_test::FakeMonitoringView view;
  kestrel_test::SilentAlert alert;
  kestrel_test::SilentSound sound;
  PlainTextWindow mdt;
  RecordingMessageBoxes boxes;
  ManualClock clock;
  kestrel_test::FakeAudioInput audio;
  kestrel_test::NoMail mail;
  kestrel_test::FakeFeedNetwork network;
  NoSerialSources serial;
  Program program{
      {main, view, alert, sound, mdt, boxes, clock, audio, network, serial, mail, nullptr}};

  void SetUp() override {
    main.selected_terminal = "<all>";
    Rule rule;
    rule.Name = "Everything";
    rule.Active = true;
    rule.MessageBody = "*";
    rule.LogMessages = true;
    rule.LogMessageType = "Message";
    rule.LogMessageVerb = "with";
    rule.LogMessageOccurence = 1;
    rule.LogMessageCharacter = "character";
    program.rules.Append(rule);
    program.rules.SetChanged(false);
  }
  // A new message through the whole processing; the tag of its Messages row.
  int32_t Receive(uint16_t terminal, std::string_view text) {
    program.processor.ProcessSieve(kestrel_test::Record(terminal, true, text));
    return program.messages_list.Count() > 0 ? program.messages_list.Rows().back().tag : -1;
  }
};

TEST(SplitterClampTest, BoundsAreInclusiveAndTheUpperOneWins) {
  EXPECT_EQ(ClampVerticalSplitter(134, 6000), 135);
  EXPECT_EQ(ClampVerticalSplitter(135, 6000), 135);
  EXPECT_EQ(ClampVerticalSplitter(5400, 6000), 5400);
  EXPECT_EQ(ClampVerticalSplitter(5401, 6000), 5400);
  EXPECT_EQ(ClampVerticalSplitter(-1e9, 600), 0);  // too narrow for both limits
  EXPECT_EQ(ClampHorizontalSplitter(29, 4000), 30);
  EXPECT_EQ(ClampHorizontalSplitter(30, 4000), 30);
  EXPECT_EQ(ClampHorizontalSplitter(3250, 4000), 3250);
  EXPECT_EQ(ClampHorizontalSplitter(3251, 4000), 3250);
}

TEST_F(ProgramTest, DetailsTakeTheBodyFromCharacter20OrFrom13ForShortMessages) {
  const int32_t tag = Receive(0x1234, "HELLO THERE UNIT");
  std::optional<MessageDetailsText> details = program.MessageDetails(tag);
  ASSERT_TRUE(details);
  EXPECT_EQ(details->address, "1234");
  EXPECT_EQ(details->terminal, "1234");
  EXPECT_EQ(details->traffic_button, "To 1234");
  EXPECT_EQ(details->body, "HELLO THERE UNIT");
  EXPECT_EQ(details->mdt_text, "Terminal: 1234\r\n\r\nHELLO THERE UNIT");
  EXPECT_EQ(details->type, "Message");
  EXPECT_EQ(details->received, program.messages_list.Rows().back().received);

  // A stored text of 15 characters shows from character 13; 21 from character 20.
  const std::string header = kestrel_test::Stored(0x1234, false, "");
  program.messages.Update(tag, header + "ABC");
  EXPECT_EQ(program.MessageDetails(tag)->body, "ABC");
  program.messages.Update(tag, header + "ABCDEFGHI");
  EXPECT_EQ(program.MessageDetails(tag)->body, "HI");
  program.messages.Update(tag, header);
  EXPECT_EQ(program.MessageDetails(tag)->body, "");
}

TEST_F(ProgramTest, DetailsNameTheAliasAndWrapAtMDTColumns) {
  program.aliases.Assign("1234", "Unit 7");
  program.settings.MDTColumns = 5;
  const int32_t tag = Receive(0x1234, "ABCDEFG");
  const std::optional<MessageDetailsText> details = program.MessageDetails(tag);
  ASSERT_TRUE(details);
  EXPECT_EQ(details->terminal, "1234 (Unit 7)");
  EXPECT_EQ(details->body, "ABCDE\r\nFG");
  EXPECT_EQ(program.MessageDetails(tag + 100), std::nullopt);
}

TEST_F(ProgramTest, DeletingARowForgetsItsMessageAndItsTerminalsLink) {
  const int32_t tag = Receive(0x1234, "FIRST MESSAGE");
  ASSERT_EQ(program.traffic.GetMessagesTag("1234"), tag);
  program.DeleteMessage(tag);
  EXPECT_EQ(program.messages_list.Count(), 0);
  EXPECT_EQ(program.messages.Retrieve(tag), "");
  EXPECT_EQ(program.traffic.GetMessagesTag("1234"), 0);
  EXPECT_EQ(program.MessageDetails(tag), std::nullopt);
}

TEST_F(ProgramTest, ReversePolarityTogglesTheRunningSourcesSettingOnly) {
  program.settings.SieveSource = kSieveSourceSoundCard;
  program.ReversePolarity();
  EXPECT_TRUE(program.settings.ReversePolarity);
  EXPECT_FALSE(program.settings.COMPortReversePolarity);
  EXPECT_EQ(program.acquisition.AboveSymbol(), '0');
  EXPECT_TRUE(program.settings.SettingsChanged);

  program.settings.SieveSource = kSieveSourceCOMPort;
  program.ReversePolarity();
  EXPECT_TRUE(program.settings.COMPortReversePolarity);
  EXPECT_EQ(program.acquisition.AboveSymbol(), '0');
  program.ReversePolarity();
  EXPECT_EQ(program.acquisition.AboveSymbol(), '1');

  program.settings.SieveSource = kSieveSourceNetwork;
  program.settings.SettingsChanged = false;
  const Settings before = program.settings;
  program.ReversePolarity();
  Settings expected = before;
  expected.SettingsChanged = true;
  EXPECT_EQ(program.settings, expected);
}

struct ExitSaveTest : ProgramTest {
  kestrel_test::ScratchDirectory scratch;
  std::string path;
  void SetUp() override {
    ProgramTest::SetUp();
    path = scratch.Path("exit.ini");
    program.settings.CurrentProfile = path;
    program.settings.AutoSave = false;
    program.settings.SettingsChanged = true;
    program.settings.MDTColumns = 60;
    program.rules.SetChanged(true);
  }
  ExitSave Exit(bool ask) {
    const ExitSave choice = program.ExitSaveChoice(ask);
    EXPECT_TRUE(program.SaveForExit(choice, {}));
    return choice;
  }
  bool SettingsWritten() { return ReadIniString("Settings", "MDTColumns", path) == "60"; }
  bool RulesWritten() { return std::filesystem::exists(RulesFilePath(path)); }
};

TEST_F(ExitSaveTest, YesSavesEverything) {
  boxes.answer = MessageBoxes::Answer::kYes;
  EXPECT_EQ(Exit(true), ExitSave::kWithSettings);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Settings have changed, save to current profile?");
  EXPECT_EQ(boxes.shown[0].title, "Save Settings?");
  EXPECT_EQ(boxes.shown[0].buttons, MessageBoxes::Buttons::kYesNoCancel);
  EXPECT_TRUE(SettingsWritten());
  EXPECT_TRUE(RulesWritten());
}

TEST_F(ExitSaveTest, NoKeepsAliasesButNeitherSettingsNorRules) {
  boxes.answer = MessageBoxes::Answer::kNo;
  program.aliases.Assign("1234", "Unit 7");
  program.aliases.SetChanged(true);
  EXPECT_EQ(Exit(true), ExitSave::kWithoutSettings);
  EXPECT_FALSE(SettingsWritten());
  EXPECT_FALSE(RulesWritten());
  EXPECT_EQ(ReadIniString("TerminalAliases", "Alias1", AliasesFilePath(path)), "Unit 7");
}

TEST_F(ExitSaveTest, CancelWritesNothing) {
  boxes.answer = MessageBoxes::Answer::kCancel;
  EXPECT_EQ(Exit(true), ExitSave::kCancelled);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(ExitSaveTest, WithoutAskingItIsNoAndWithAutoSaveItIsYes) {
  EXPECT_EQ(Exit(false), ExitSave::kWithoutSettings);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(SettingsWritten());

  program.settings.AutoSave = true;
  EXPECT_EQ(Exit(true), ExitSave::kWithSettings);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_TRUE(SettingsWritten());
  EXPECT_TRUE(RulesWritten());
}

TEST_F(ExitSaveTest, NothingChangedSavesWithoutAskingAndNoProfileSavesNothing) {
  program.settings.SettingsChanged = false;
  EXPECT_EQ(Exit(true), ExitSave::kWithoutSettings);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_FALSE(SettingsWritten());

  program.settings.CurrentProfile.clear();
  program.settings.SettingsChanged = true;
  EXPECT_EQ(Exit(true), ExitSave::kNothing);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(ExitSaveTest, AFailedSaveSaysSo) {
  program.settings.CurrentProfile = scratch.Path("missing/dir/exit.ini");
  program.settings.AutoSave = true;
  EXPECT_FALSE(program.SaveForExit(program.ExitSaveChoice(true), {}));
}

}  // namespace
}  // namespace kestrel
