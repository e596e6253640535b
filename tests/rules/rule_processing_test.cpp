#include "app/rules/rule_processing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/display/capture.h"
#include "app/display/messages_list.h"
#include "app/mail/email_class.h"
#include "app/platform/message_box.h"
#include "app/profile/report_error.h"
#include "app/rules/rules_class.h"
#include "app/traffic/messages_class.h"
#include "app/traffic/terminal_aliases.h"
#include "app/traffic/traffic_class.h"
#include "support/records.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using kestrel_test::Stored;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Local time on Tuesday 2 January 2024, or `days` later.
Clock::TimePoint Tuesday(int hour, int minute, int second = 0, int days = 0) {
  std::tm time{};
  time.tm_year = 2024 - 1900;
  time.tm_mon = 0;
  time.tm_mday = 2 + days;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  time.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&time));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct FakeAlert : AlertView {
  void ShowAlert(const AlertContent& content) override {
    shown.push_back(content);
    text = content.text;
    received = content.received;
  }
  void SetReceived(std::string_view time) override {
    received = time;
    ++updates;
  }
  void SetMessageText(std::string_view new_text) override {
    text = new_text;
    ++updates;
  }
  std::vector<AlertContent> shown;
  std::string text;
  std::string received;
  int updates = 0;
};

struct FakeSound : SoundOutput {
  void PlaySound(const std::string& file) override { played.push_back(file); }
  void Beep() override {
    ++beeps;
    if (fail_beep) throw std::runtime_error("speaker gone");
  }
  std::vector<std::string> played;
  int beeps = 0;
  bool fail_beep = false;
};

struct FakePrinter : Printer {
  bool PrintLine(std::string_view text) override {
    lines.emplace_back(text);
    return !broken;
  }
  void EndJob() override { ++jobs_ended; }
  std::vector<std::string> lines;
  int jobs_ended = 0;
  bool broken = false;
};

struct Mail {
  std::string to;
  std::string subject;
  std::string body;
};

class RuleProcessingTest : public ::testing::Test {
 protected:
  RuleProcessingTest() {
    settings_.SMTPMailServer = "smtp.test";
    settings_.SieveSource = kSieveSourceNetwork;
    boxes_.answer = MessageBoxes::Answer::kNo;  // keep reporting after the first error
    clock_.Set(Tuesday(12, 0));
    aliases_.Assign("1234", "Unit 7");
  }

  // An active rule that matches every message and does nothing yet. The reference lasts until
  // the next rule is added.
  Rule& AddRule(const std::string& name) {
    EXPECT_TRUE(rules_.Add(name));
    Rule& rule = *rules_.Current();
    rule.Active = true;
    rule.AlertBackgroundColor = rule.AlertForegroundColor = rule.LogMessageColor = -1;
    return rule;
  }
  Rule& AddLogRule(const std::string& name, const std::string& type) {
    Rule& rule = AddRule(name);
    rule.LogMessages = true;
    rule.LogMessageType = type;
    rule.LogMessageTo = 1;
    rule.LogMessageVerb = "with";
    rule.LogMessageOccurence = 1;
    rule.LogMessageCharacter = "character";
    return rule;
  }

  // Stores a record as traffic processing does and runs the rules on the message it makes.
  std::optional<int32_t> Receive(uint16_t terminal, bool tx, const std::string& text,
                                 std::optional<int32_t> row = std::nullopt) {
    const std::string record = Stored(terminal, tx, text);
    const std::string address = GetTerminalAddress(record, settings_);
    traffic_.Add(address, aliases_.Alias(address), record);
    const std::string message = traffic_.RetrieveLast(address);
    if (row) messages_.Update(*row, message);
    return processing_.Process(message, row);
  }

  const MessagesRow& Row(int32_t tag) {
    static const MessagesRow kMissing;
    const MessagesRow* row = list_.Row(tag);
    EXPECT_NE(row, nullptr) << "no row " << tag;
    return row != nullptr ? *row : kMissing;
  }

  std::vector<int32_t> Tags() const {
    std::vector<int32_t> tags;
    for (const MessagesRow& row : list_.Rows()) tags.push_back(row.tag);
    return tags;
  }

  // What the spool sends once enough time has passed.
  std::vector<Mail> Mails() {
    clock_.Advance(std::chrono::seconds(10));
    email_.QueueEMails();
    std::vector<Mail> mails;
    std::string from_name, from_address, to, subject, body;
    bool html = false;
    while (email_.GetQueuedMessage(from_name, from_address, to, subject, body, html)) {
      mails.push_back({to, subject, body});
    }
    return mails;
  }

  Settings settings_;
  RecordingMessageBoxes boxes_;
  ErrorReporter errors_{settings_, boxes_};
  RulesClass rules_{errors_};
  TerminalAliases aliases_;
  TrafficClass traffic_{settings_, aliases_};
  MessagesClass messages_;
  MessagesList list_;
  FakeAlert alert_;
  ManualClock clock_;
  EMailClass email_{clock_};
  FakeSound sound_;
  FakePrinter printer_;
  RuleProcessing processing_{RuleServices{settings_, rules_, aliases_, traffic_, messages_, list_,
                                          alert_, email_, sound_, &printer_, clock_, errors_}};
};

const std::string kTxHeader = "TX.....";  // "TX" and five header bytes, as the row shows them

TEST_F(RuleProcessingTest, TwoLoggingRulesGiveTwoRowsAndAContinuationRewritesThePassedRow) {
  {
    Rule& rule = AddLogRule("A", "First");
    rule.LogMessageColor = 255;
  }
  {
    Rule& rule = AddLogRule("B", "Second");
    rule.LogMessageTo = 3;
    rule.LogMessageVerb = "after";
    rule.LogMessageCharacter = ":";
  }
  std::optional<int32_t> row = Receive(0x1234, true, "CALL: FIRE");
  EXPECT_EQ(row, 2);
  EXPECT_THAT(Tags(), ElementsAre(1, 2));
  EXPECT_EQ(Row(1).type, "First");
  EXPECT_EQ(Row(1).to, "1234");
  EXPECT_EQ(Row(1).details, kTxHeader + "CALL: FIRE");
  EXPECT_EQ(Row(1).received, "12:00:00");
  EXPECT_EQ(Row(1).colour, 255);
  EXPECT_EQ(Row(2).type, "Second");
  EXPECT_EQ(Row(2).to, "1234 (Unit 7)");
  EXPECT_EQ(Row(2).details, " FIRE");
  EXPECT_EQ(Row(2).colour, kDefaultColour);
  EXPECT_EQ(messages_.Retrieve(1), Stored(0x1234, true, "CALL: FIRE"));
  EXPECT_EQ(messages_.Count(), 2);
  EXPECT_EQ(traffic_.GetMessagesTag("1234"), 2);  // the message is linked to the last row
  EXPECT_EQ(processing_.LastLogTime(), "12:00:00");

  clock_.Set(Tuesday(12, 0, 5));
  row = Receive(0x1234, false, " AT MAIN", row);
  EXPECT_EQ(row, 2);
  EXPECT_THAT(Tags(), ElementsAre(1, 2));
  EXPECT_EQ(messages_.Count(), 2);
  // Both rules rewrote row 2: B's texts win, A's colour stays since B has none.
  EXPECT_EQ(Row(2).type, "Second");
  EXPECT_EQ(Row(2).to, "1234 (Unit 7)");
  EXPECT_EQ(Row(2).details, " FIRE AT MAIN");
  EXPECT_EQ(Row(2).received, "12:00:05");
  EXPECT_EQ(Row(2).colour, 255);
  EXPECT_EQ(Row(1).details, kTxHeader + "CALL: FIRE");
  EXPECT_EQ(Row(1).received, "12:00:00");

  // A row deleted meanwhile is not rewritten, nor made again.
  list_.Remove(2);
  EXPECT_EQ(Receive(0x1234, false, " AGAIN", 2), 2);
  EXPECT_THAT(Tags(), ElementsAre(1));
  EXPECT_EQ(messages_.Count(), 2);
  EXPECT_THAT(boxes_.shown, IsEmpty());
}

TEST_F(RuleProcessingTest, ToColumnFollowsLogMessageTo) {
  struct Case {
    int16_t to;
    const char* with_alias;
    const char* without_alias;
  };
  for (const Case& c :
       {Case{1, "1234", "0042"}, Case{2, "Unit 7", "0042"}, Case{3, "1234 (Unit 7)", "0042"},
        Case{0, "Unit 7", "0042"}, Case{7, "Unit 7", "0042"}}) {
    SCOPED_TRACE(c.to);
    rules_.Clear();
    AddLogRule("To", "T").LogMessageTo = c.to;
    const std::optional<int32_t> aliased = Receive(0x1234, true, "A");
    const std::optional<int32_t> plain = Receive(0x0042, true, "B");
    ASSERT_TRUE(aliased && plain);
    EXPECT_EQ(Row(*aliased).to, c.with_alias);
    EXPECT_EQ(Row(*plain).to, c.without_alias);
  }
}

TEST_F(RuleProcessingTest, RowLimitRemovesTheOldestArrivedRowWithItsEntryAndLink) {
  settings_.MaxMessagesToSave = 50;
  AddLogRule("All", "Any");
  // Every message from its own terminal, so each keeps its traffic link.
  const auto receive = [&](int n) {
    char text[16];
    std::snprintf(text, sizeof text, "MSG %03d", n);
    return Receive(uint16_t(0x0100 + n), true, text);
  };
  for (int n = 1; n <= 50; ++n) receive(n);
  EXPECT_EQ(list_.Count(), 50);
  EXPECT_EQ(traffic_.GetMessagesTag("0101"), 1);

  EXPECT_EQ(receive(51), 51);
  EXPECT_EQ(list_.Count(), 50);
  EXPECT_EQ(list_.Find(1), -1);
  EXPECT_EQ(messages_.Retrieve(1), "");
  EXPECT_EQ(messages_.Count(), 50);
  EXPECT_EQ(traffic_.GetMessagesTag("0101"), 0);
  EXPECT_EQ(list_.Find(51), 49);

  // Sorted newest first, the oldest row is last and the new one goes below it: the oldest still
  // goes, not the row in the last place.
  list_.Sort(MessagesList::kDetails, false);
  EXPECT_EQ(list_.Find(2), 49);
  EXPECT_EQ(receive(52), 52);
  EXPECT_EQ(list_.Count(), 50);
  EXPECT_EQ(list_.Find(2), -1);
  EXPECT_EQ(messages_.Retrieve(2), "");
  EXPECT_EQ(traffic_.GetMessagesTag("0102"), 0);
  EXPECT_EQ(list_.Find(52), 49);
  EXPECT_EQ(list_.Rows()[0].tag, 51);
  EXPECT_EQ(traffic_.GetMessagesTag("0103"), 3);

  settings_.MaxMessagesToSave = 0;  // no limit
  for (int n = 53; n <= 60; ++n) receive(n);
  EXPECT_EQ(list_.Count(), 58);
  EXPECT_EQ(messages_.Count(), 58);
}

TEST_F(RuleProcessingTest, AlertShowsNewMessagesAndExtendsOnlyItsOwnContinuations) {
  {
    Rule& rule = AddLogRule("Fire alert", "Fire");
    rule.Alert = true;
    rule.AlertBackgroundColor = 0;
  }
  const std::optional<int32_t> other = Receive(0x0042, true, "OTHER");
  ASSERT_EQ(alert_.shown.size(), 1u);
  const std::optional<int32_t> row = Receive(0x1234, true, "FIRE\rMAIN ST");
  ASSERT_EQ(alert_.shown.size(), 2u);
  const AlertContent& shown = alert_.shown.back();
  EXPECT_EQ(shown.caption, "Fire alert");
  EXPECT_EQ(shown.terminal, "1234 (Unit 7)");
  EXPECT_EQ(shown.received, "12:00:00");
  EXPECT_EQ(shown.text, "FIRE\r\nMAIN ST");
  EXPECT_EQ(shown.traffic_button, "To 1234");
  EXPECT_EQ(shown.background, 0);
  EXPECT_EQ(shown.foreground, std::nullopt);
  EXPECT_EQ(alert_.shown.front().terminal, "0042");
  EXPECT_EQ(sound_.beeps, 2);  // one per alert
  EXPECT_TRUE(processing_.AlertShown());
  EXPECT_EQ(processing_.AlertTerminal(), "1234");

  clock_.Set(Tuesday(12, 0, 7));
  Receive(0x1234, false, " 2ND ALARM", row);
  EXPECT_EQ(alert_.shown.size(), 2u);
  EXPECT_EQ(sound_.beeps, 2);
  EXPECT_EQ(alert_.received, "12:00:07");
  EXPECT_EQ(alert_.text, "FIRE\r\nMAIN ST 2ND ALARM");

  // Another terminal's continuation leaves the alert alone.
  const int updates = alert_.updates;
  Receive(0x0042, false, " MORE", other);
  EXPECT_EQ(alert_.updates, updates);
  EXPECT_EQ(alert_.text, "FIRE\r\nMAIN ST 2ND ALARM");

  processing_.AlertClosed();
  Receive(0x1234, false, " 3RD", row);
  EXPECT_EQ(alert_.updates, updates);
  EXPECT_EQ(alert_.shown.size(), 2u);
}

TEST_F(RuleProcessingTest, AlertContinuationOfAnUntaggedMessageShowsItOnce) {
  AddLogRule("Alert", "A").Alert = true;
  // A terminal's first record need not start a message; its text begins at character 13.
  const std::optional<int32_t> row = Receive(0x0042, false, "PART ONE");
  EXPECT_EQ(alert_.text, "PART ONE");
  Receive(0x0042, false, " PART TWO", row);
  EXPECT_EQ(alert_.text, "PART ONE PART TWO");
}

TEST_F(RuleProcessingTest, DayRollOverAppendsABlankPerMatchedMessageUntilARowIsLogged) {
  AddLogRule("Log", "Log").MessageBody = "*LOG*";
  {
    Rule& rule = AddRule("Note");
    rule.MessageBody = "*NOTE*";
    rule.BeepOnMatch = true;
  }
  clock_.Set(Tuesday(23, 59, 50));
  const std::optional<int32_t> first = Receive(0x1234, true, "LOG A");
  ASSERT_TRUE(first);
  EXPECT_EQ(Row(*first).received, "23:59:50");

  clock_.Set(Tuesday(0, 0, 10, 1));
  Receive(0x1234, true, "NOTE 1");
  EXPECT_EQ(Row(*first).received, "23:59:50 ");
  Receive(0x1234, true, "NOTE 2");
  EXPECT_EQ(Row(*first).received, "23:59:50  ");
  Receive(0x1234, true, "IDLE");  // no rule matched: no roll-over
  EXPECT_EQ(Row(*first).received, "23:59:50  ");

  const std::optional<int32_t> second = Receive(0x1234, true, "LOG B");
  EXPECT_EQ(Row(*first).received, "23:59:50   ");
  EXPECT_EQ(Row(*second).received, "00:00:10");
  EXPECT_EQ(processing_.LastLogTime(), "00:00:10");
  Receive(0x1234, true, "NOTE 3");
  EXPECT_EQ(Row(*first).received, "23:59:50   ");
  EXPECT_EQ(Row(*second).received, "00:00:10");
}

TEST(EMailDisabledNowTest, ExactDayAndHourEntries) {
  ManualClock clock;
  const auto disabled = [&](const char* list, Clock::TimePoint at) {
    clock.Set(at);
    return EMailDisabledNow(list, clock);
  };
  EXPECT_TRUE(disabled("2:9", Tuesday(9, 0)));
  EXPECT_TRUE(disabled("2:9", Tuesday(9, 59, 59)));
  EXPECT_FALSE(disabled("2:9", Tuesday(8, 59, 59)));
  EXPECT_FALSE(disabled("2:9", Tuesday(10, 0)));
  EXPECT_FALSE(disabled("2:9", Tuesday(9, 30, 0, 1)));  // Wednesday
  EXPECT_FALSE(disabled("", Tuesday(9, 0)));
  EXPECT_TRUE(disabled("1:9,2:9", Tuesday(9, 0)));
  EXPECT_TRUE(disabled("0:0,0:1,6:23", Tuesday(23, 30, 0, 4)));  // Saturday
  EXPECT_TRUE(disabled("0:0,0:1,6:23", Tuesday(1, 30, 0, 5)));   // Sunday
  EXPECT_FALSE(disabled("0:0,0:1,6:23", Tuesday(2, 0, 0, 5)));
  EXPECT_FALSE(disabled(" 2:9", Tuesday(9, 0)));
  EXPECT_FALSE(disabled("2:09", Tuesday(9, 0)));
  EXPECT_FALSE(disabled("2:9,", Tuesday(10, 0)));
}

TEST_F(RuleProcessingTest, EMailNeedsAServerAndAnHourThatIsNotDisabled) {
  {
    Rule& rule = AddRule("Mail");
    rule.EMailMessages = true;
    rule.EMailMessageToAddress = "ops@example.org";
    rule.EMailMessageSubject = "S";
    rule.EMailMessageDisabledHours = "2:12";
  }
  Receive(0x1234, true, "A");
  EXPECT_FALSE(email_.Spooled());
  clock_.Set(Tuesday(13, 0));
  settings_.SMTPMailServer.clear();
  Receive(0x1234, true, "B");
  EXPECT_FALSE(email_.Spooled());
  EXPECT_THAT(boxes_.shown, IsEmpty());
  settings_.SMTPMailServer = "smtp.test";
  Receive(0x1234, true, "C");
  EXPECT_EQ(email_.SpoolCount(), 1u);
}

TEST_F(RuleProcessingTest, EMailBodyIsTheSelectedWrappedTextAndContinuationsUpdateIt) {
  settings_.MDTColumns = 5;
  for (const char* name : {"First", "Second"}) {
    Rule& rule = AddRule(name);
    rule.EMailMessages = true;
    rule.EMailMessageToAddress = "ops@example.org";
    rule.EMailMessageSubject = name;
    rule.EMailMessageVerb = "after";
    rule.EMailMessageOccurence = 1;
    rule.EMailMessageCharacter = ":";
  }
  const std::optional<int32_t> row = Receive(0x1234, true, "CALL:ABCDEFG");
  ASSERT_FALSE(row);
  // A continuation is a message that has a row; the mails grow, each found by its rule.
  Receive(0x1234, false, "HI", 1);
  Receive(0x0042, true, "NO COLON");  // nothing selected: no mail
  const std::vector<Mail> mails = Mails();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[0].subject, "First");
  EXPECT_EQ(mails[0].body, "ABCDE\r\nFGHI");
  EXPECT_EQ(mails[1].subject, "Second");
  EXPECT_EQ(mails[1].body, "ABCDE\r\nFGHI");
}

TEST_F(RuleProcessingTest, EMailSplitAndLimitCountOnlyWhenSwitchedOn) {
  {
    Rule& rule = AddRule("Mail");
    rule.EMailMessages = true;
    rule.EMailMessageSubject = "S";
    rule.EMailMessageSplitChars = 3;
    rule.EMailMessageLimitChars = 5;
  }
  Receive(0x1234, true, "ABCDEFG");
  std::vector<Mail> mails = Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].body, "ABCDEFG");

  rules_.At(1)->EMailMessageSplit = true;
  Receive(0x1234, true, "ABCDEFG");
  mails = Mails();
  ASSERT_EQ(mails.size(), 3u);
  EXPECT_EQ(mails[2].subject, "S (Part 3)");
  EXPECT_EQ(mails[2].body, "G");

  rules_.At(1)->EMailMessageLimit = true;
  Receive(0x1234, true, "ABCDEFG");
  mails = Mails();
  ASSERT_EQ(mails.size(), 2u);
  EXPECT_EQ(mails[1].body, "DE");
}

TEST(RuleLogBlockTest, BlockWithAliasContinuationAndWrapping) {
  Settings settings;
  settings.MDTColumns = 5;
  EXPECT_EQ(RuleLogBlock(settings, "1234", "Unit 7", Stored(0x1234, false, "ABCDEFG"), true),
            "Terminal: 1234 (Unit 7), with additional\r\n\r\nABCDE\r\nFG\r\n\r\n-----\r\n\r\n");
  EXPECT_EQ(RuleLogBlock(settings, "0042", "", Stored(0x0042, true, "A\rB"), false),
            "Terminal: 0042\r\n\r\nA\r\nB\r\n\r\n-----\r\n\r\n");
}

class RuleLogFileTest : public RuleProcessingTest {
 protected:
  kestrel_test::ScratchDirectory scratch_{"rule_log"};
  const fs::path dir_ = scratch_.path();
};

TEST_F(RuleLogFileTest, BlocksAreAppendedAndFailuresAreSilent) {
  settings_.MDTColumns = 5;
  const fs::path log = dir_ / "fire.log";
  {
    Rule& rule = AddLogRule("Log", "Log");
    rule.LogFile = true;
    rule.LogFilename = log.string();
  }
  const std::optional<int32_t> row = Receive(0x1234, true, "ABCDEFG");
  Receive(0x1234, false, "H", row);
  EXPECT_EQ(ReadFile(log),
            "Terminal: 1234 (Unit 7)\r\n\r\nABCDE\r\nFG\r\n\r\n-----\r\n\r\n"
            "Terminal: 1234 (Unit 7), with additional\r\n\r\nABCDE\r\nFGH\r\n\r\n-----\r\n\r\n");

  EXPECT_FALSE(LogToFile(settings_, (dir_ / "missing" / "x.log").string(), "1", "", "", false));
  {
    Rule& rule = AddRule("Broken");
    rule.LogFile = true;
    rule.LogFilename = (dir_ / "missing" / "x.log").string();
    rule.BeepOnMatch = true;
  }
  Receive(0x1234, true, "X");
  EXPECT_THAT(boxes_.shown, IsEmpty());
  EXPECT_EQ(sound_.beeps, 1);  // the actions after the log file still ran
}

TEST_F(RuleProcessingTest, PrinterJobStartsWithAnEmptyLineAndEndsWhenMonitoringStops) {
  settings_.MDTColumns = 5;
  AddRule("Print").LogPrinter = true;
  Receive(0x1234, true, "ABCDEFG");
  Receive(0x0042, true, "XY");
  EXPECT_TRUE(processing_.PrinterStarted());
  EXPECT_THAT(printer_.lines,
              ElementsAre("", "Terminal: 1234 (Unit 7)\r\n\r\nABCDE\r\nFG\r\n\r\n-----\r\n",
                          "Terminal: 0042\r\n\r\nXY\r\n\r\n-----\r\n"));
  processing_.EndPrinting();
  processing_.EndPrinting();
  EXPECT_EQ(printer_.jobs_ended, 1);
  EXPECT_FALSE(processing_.PrinterStarted());

  printer_.lines.clear();
  printer_.broken = true;
  AddRule("Beep").BeepOnMatch = true;
  Receive(0x0042, true, "Z");
  EXPECT_EQ(printer_.lines.size(), 2u);
  EXPECT_EQ(printer_.lines[0], "");
  EXPECT_EQ(sound_.beeps, 1);
  EXPECT_THAT(boxes_.shown, IsEmpty());

  RuleProcessing without_printer{RuleServices{settings_, rules_, aliases_, traffic_, messages_,
                                              list_, alert_, email_, sound_, nullptr, clock_,
                                              errors_}};
  without_printer.Process(Stored(0x0042, true, "Z"), std::nullopt);
  without_printer.EndPrinting();
  EXPECT_EQ(sound_.beeps, 2);
  EXPECT_EQ(printer_.lines.size(), 2u);
}

TEST_F(RuleProcessingTest, SoundPlaysOnlyWhenTheSoundCardIsNotTheSourceAndBeepAlways) {
  {
    Rule& rule = AddLogRule("Sound", "S");
    rule.PlaySound = true;
    rule.SoundFilename = "alarm.wav";
    rule.BeepOnMatch = true;
  }
  settings_.SieveSource = kSieveSourceSoundCard;
  Receive(0x1234, true, "A");
  EXPECT_THAT(sound_.played, IsEmpty());
  EXPECT_EQ(sound_.beeps, 1);

  settings_.SieveSource = kSieveSourceNetwork;
  const std::optional<int32_t> row = Receive(0x1234, true, "B");
  EXPECT_THAT(sound_.played, ElementsAre("alarm.wav"));
  Receive(0x1234, false, "C", row);
  EXPECT_EQ(sound_.played.size(), 1u);
  EXPECT_EQ(sound_.beeps, 3);

  settings_.SieveSource = kSieveSourceCOMPort;
  Receive(0x1234, true, "D");
  EXPECT_EQ(sound_.played.size(), 2u);
}

TEST_F(RuleProcessingTest, AFailureIsReportedAndEndsTheMessage) {
  {
    Rule& rule = AddLogRule("A", "A");
    rule.BeepOnMatch = true;
  }
  AddLogRule("B", "B");
  sound_.fail_beep = true;
  Receive(0x1234, true, "X");
  EXPECT_THAT(Tags(), ElementsAre(1));  // A's row stays; B never ran
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_THAT(boxes_.shown[0].text, HasSubstr("An error occured in ProcessRules."));
  EXPECT_THAT(boxes_.shown[0].text, HasSubstr("speaker gone"));

  sound_.fail_beep = false;
  Receive(0x1234, true, "Y");
  EXPECT_THAT(Tags(), ElementsAre(1, 2, 3));
}

struct SelectionCase {
  const char* text;
  const char* verb;
  int occurrence;
  const char* character;
  const char* expected;
};

class GetSpecifiedTextTest : public ::testing::TestWithParam<SelectionCase> {};

TEST_P(GetSpecifiedTextTest, SelectsThePart) {
  const SelectionCase& c = GetParam();
  Settings settings;
  RecordingMessageBoxes boxes;
  ErrorReporter errors(settings, boxes);
  EXPECT_EQ(GetSpecifiedText(c.text, c.verb, c.occurrence, c.character, errors), c.expected);
  EXPECT_THAT(boxes.shown, IsEmpty());
}

constexpr char kCall[] = "UNIT 12: FIRE\rMAIN ST\rUNIT 7";
constexpr char kTwenty[] = "ABCDEFGHIJKLMNOPQRST";

INSTANTIATE_TEST_SUITE_P(
    Examples, GetSpecifiedTextTest,
    ::testing::Values(SelectionCase{kCall, "with", 1, "character", kCall},
                      SelectionCase{kCall, "after", 3, "character", "T 12: FIRE\rMAIN ST\rUNIT 7"},
                      SelectionCase{kCall, "with", 2, "linefeed", "\rUNIT 7"},
                      SelectionCase{kCall, "after", -1, "UNIT", " 12: FIRE\rMAIN ST\rUNIT 7"},
                      SelectionCase{kCall, "with", -1, "UNIT", kCall},
                      SelectionCase{kCall, "with", -1, "unit", ""},
                      SelectionCase{kCall, "after", 2, "space", "FIRE\rMAIN ST\rUNIT 7"},
                      SelectionCase{kCall, "with", 0, ":", ": FIRE\rMAIN ST\rUNIT 7"},
                      SelectionCase{kCall, "After", 1, ":", ": FIRE\rMAIN ST\rUNIT 7"},
                      SelectionCase{kCall, "after", 1, "", kCall},
                      SelectionCase{kCall, "with", 2, ":", ""},
                      SelectionCase{kCall, "after", 3, "linefeed", ""},
                      SelectionCase{kTwenty, "with", 30, "character", ""},
                      SelectionCase{kTwenty, "with", 20, "character", "T"},
                      SelectionCase{kTwenty, "after", 20, "character", ""},
                      SelectionCase{kTwenty, "after", 19, "character", "T"},
                      SelectionCase{kTwenty, "after", 1, "T", ""},
                      SelectionCase{"AA:BB", "after", 1, ":", "BB"},
                      // In word mode the choices' names are words like any other.
                      SelectionCase{"a space b", "with", -1, "space", "space b"},
                      SelectionCase{"the character set", "after", -1, "character", " set"},
                      SelectionCase{"", "with", 1, "character", ""}));

TEST(GetSpecifiedTextFailureTest, APositionBeforeTheTextIsReported) {
  Settings settings;
  RecordingMessageBoxes boxes;
  ErrorReporter errors(settings, boxes);
  EXPECT_EQ(GetSpecifiedText("ABC", "with", -3, "character", errors), "");
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_THAT(boxes.shown[0].text,
              HasSubstr("An error occured in GetSpecifiedText (with,-3,character)."));
}

TEST(TimeOfDayTest, TwentyFourHourLocalTime) {
  EXPECT_EQ(TimeOfDay(Tuesday(0, 0, 5)), "00:00:05");
  EXPECT_EQ(TimeOfDay(Tuesday(23, 7, 59)), "23:07:59");
}

}  // namespace
}  // namespace kestrel
