#include "app/rules/action_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

HourColumn Hours(std::initializer_list<int> hours) {
  HourColumn column{};
  for (int hour : hours) column[hour] = true;
  return column;
}

TEST(OccurrenceListTest, StartsWithWordAndReadsOrdinalsToHundredth) {
  const std::vector<std::string> entries = OccurrenceEntries();
  ASSERT_EQ(entries.size(), 101u);
  EXPECT_EQ(entries[0], "word");
  EXPECT_EQ(entries[1], "1st");
  EXPECT_EQ(entries[2], "2nd");
  EXPECT_EQ(entries[3], "3rd");
  EXPECT_EQ(entries[4], "4th");
  EXPECT_EQ(entries[10], "10th");
  EXPECT_EQ(entries[11], "11th");
  EXPECT_EQ(entries[12], "12th");
  EXPECT_EQ(entries[13], "13th");
  EXPECT_EQ(entries[21], "21st");
  EXPECT_EQ(entries[22], "22nd");
  EXPECT_EQ(entries[23], "23rd");
  EXPECT_EQ(entries[99], "99th");
  EXPECT_EQ(entries[100], "100th");
  EXPECT_EQ(Ordinal(111), "111th");
  EXPECT_EQ(Ordinal(101), "101st");
}

TEST(OccurrenceListTest, WordAndNumbersBothWays) {
  EXPECT_EQ(OccurrenceText(-1), "word");
  EXPECT_EQ(OccurrenceFromText("word"), -1);
  for (int n = 1; n <= 100; ++n) EXPECT_EQ(OccurrenceFromText(OccurrenceText(n)), n) << n;
  // Values the list has no entry for select nothing.
  EXPECT_EQ(OccurrenceText(0), "");
  EXPECT_EQ(OccurrenceText(101), "");
  EXPECT_EQ(OccurrenceText(-2), "");
  // Texts that are no entry: 0.
  EXPECT_EQ(OccurrenceFromText(""), 0);
  EXPECT_EQ(OccurrenceFromText("st"), 0);
  EXPECT_EQ(OccurrenceFromText("Word"), 0);
  EXPECT_EQ(OccurrenceFromText("40000th"), 0);
}

TEST(LeadingNumberTest, DigitsUpToTheFirstOtherCharacterWithin16Bits) {
  EXPECT_EQ(LeadingNumber("240"), 240);
  EXPECT_EQ(LeadingNumber("  160 chars"), 160);
  EXPECT_EQ(LeadingNumber("12abc"), 12);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("-5"), 0);
  EXPECT_EQ(LeadingNumber("32767"), 32767);
  EXPECT_EQ(LeadingNumber("32768"), 0);
  EXPECT_EQ(LeadingNumber("99999999999999999999"), 0);
}

TEST(ShownVerbTest, OnlyTheListsEntries) {
  EXPECT_EQ(ShownVerb("after"), "after");
  EXPECT_EQ(ShownVerb("with"), "with");
  EXPECT_EQ(ShownVerb("With"), "");
  EXPECT_EQ(ShownVerb(""), "");
}

TEST(DisabledHoursTest, TextRoundTripInDayThenHourOrder) {
  DisabledHours hours;
  HourColumn monday{};
  monday[10] = true;
  monday[9] = true;
  hours.SetColumn(1, monday);
  hours.SetColumn(0, Hours({0}));
  EXPECT_EQ(hours.Text(), "0:0,1:9,1:10");

  const DisabledHours read("0:0,1:9,1:10");
  EXPECT_TRUE(read.At(0, 0));
  EXPECT_TRUE(read.At(1, 9));
  EXPECT_TRUE(read.At(1, 10));
  EXPECT_FALSE(read.At(1, 11));
  EXPECT_EQ(read.Text(), "0:0,1:9,1:10");
}

TEST(DisabledHoursTest, CornersAndEmpty) {
  EXPECT_EQ(DisabledHours("").Text(), "");
  EXPECT_EQ(DisabledHours().Text(), "");
  EXPECT_EQ(DisabledHours("6:23,0:0").Text(), "0:0,6:23");
}

TEST(DisabledHoursTest, EntriesOutOfRangeOrMalformedAreSkipped) {
  EXPECT_EQ(DisabledHours("7:0,0:24,-1:3,a:b,3,,2:5,:,1:1:1,2:05").Text(), "2:5");
  EXPECT_EQ(DisabledHours("6:23,").Text(), "6:23");
}

TEST(DisabledHoursTest, CopyOperationsFillTheirDaysOnly) {
  DisabledHours weekdays("0:1,6:2");
  weekdays.CopyToWeekdays(Hours({12}));
  EXPECT_EQ(weekdays.Text(), "0:1,1:12,2:12,3:12,4:12,5:12,6:2");

  DisabledHours weekends("3:4");
  weekends.CopyToWeekends(Hours({0, 23}));
  EXPECT_EQ(weekends.Text(), "0:0,0:23,3:4,6:0,6:23");

  DisabledHours everyday("3:4");
  everyday.CopyToEveryday(Hours({5}));
  EXPECT_EQ(everyday.Text(), "0:5,1:5,2:5,3:5,4:5,5:5,6:5");
  everyday.CopyToEveryday(HourColumn{});
  EXPECT_EQ(everyday.Text(), "");
}

TEST(HoursGridEditorTest, ShowingADayStoresTheDayShownSoFar) {
  HoursGridEditor editor("2:7");
  EXPECT_EQ(editor.ShownDay(), -1);
  // No day shown yet: the boxes go nowhere.
  EXPECT_EQ(editor.ShowDay(2, Hours({1, 2, 3})), Hours({7}));
  EXPECT_EQ(editor.Grid().Text(), "2:7");
  EXPECT_EQ(editor.ShownDay(), 2);
  EXPECT_EQ(editor.ShowDay(1, Hours({8})), HourColumn{});
  EXPECT_EQ(editor.Grid().Text(), "2:8");
  editor.Store(Hours({9, 10}));
  editor.ShowDay(0, Hours({9, 10}));
  editor.Store(Hours({0}));
  EXPECT_EQ(editor.Grid().Text(), "0:0,1:9,1:10,2:8");
}

TEST(CompletenessTest, LogMessageNeedsVerbOccurrenceAndCharacter) {
  Rule rule;
  rule.LogMessageVerb = "with";
  rule.LogMessageOccurence = 1;
  rule.LogMessageCharacter = "character";
  EXPECT_TRUE(LogMessageSettingsComplete(rule));
  rule.LogMessageOccurence = -1;
  EXPECT_TRUE(LogMessageSettingsComplete(rule));
  rule.LogMessageOccurence = 100;
  EXPECT_TRUE(LogMessageSettingsComplete(rule));

  Rule no_occurrence = rule;
  no_occurrence.LogMessageOccurence = 0;
  EXPECT_FALSE(LogMessageSettingsComplete(no_occurrence));
  no_occurrence.LogMessageOccurence = 101;
  EXPECT_FALSE(LogMessageSettingsComplete(no_occurrence));
  Rule no_verb = rule;
  no_verb.LogMessageVerb = "before";
  EXPECT_FALSE(LogMessageSettingsComplete(no_verb));
  Rule no_character = rule;
  no_character.LogMessageCharacter.clear();
  EXPECT_FALSE(LogMessageSettingsComplete(no_character));
}

TEST(CompletenessTest, EMailNeedsAddressesAndAMailServer) {
  Rule rule;
  rule.EMailMessageToAddress = "to@example.org";
  rule.EMailMessageFromAddress = "from@example.org";
  rule.EMailMessageVerb = "after";
  rule.EMailMessageOccurence = 2;
  rule.EMailMessageCharacter = ":";
  EXPECT_EQ(CheckEMailSettings(rule, "mail.example.org"), EMailSettingsCheck::kComplete);

  auto missing = [&](auto change) {
    Rule copy = rule;
    change(copy);
    return CheckEMailSettings(copy, "mail.example.org");
  };
  EXPECT_EQ(missing([](Rule& r) { r.EMailMessageToAddress.clear(); }),
            EMailSettingsCheck::kIncomplete);
  EXPECT_EQ(missing([](Rule& r) { r.EMailMessageFromAddress.clear(); }),
            EMailSettingsCheck::kIncomplete);
  EXPECT_EQ(missing([](Rule& r) { r.EMailMessageVerb.clear(); }), EMailSettingsCheck::kIncomplete);
  EXPECT_EQ(missing([](Rule& r) { r.EMailMessageOccurence = 0; }), EMailSettingsCheck::kIncomplete);
  EXPECT_EQ(missing([](Rule& r) { r.EMailMessageCharacter.clear(); }),
            EMailSettingsCheck::kIncomplete);
  // The log action's fields do not count.
  EXPECT_EQ(missing([](Rule& r) { r.LogMessageVerb.clear(); }), EMailSettingsCheck::kComplete);
}

TEST(CompletenessTest, ConfirmShowsTheMessagesAndSaysWhetherTheBoxStaysChecked) {
  Rule rule;
  rule.LogMessageVerb = "with";
  rule.LogMessageOccurence = 1;
  rule.LogMessageCharacter = "space";
  rule.EMailMessageToAddress = "to@example.org";
  rule.EMailMessageFromAddress = "from@example.org";
  rule.EMailMessageVerb = "with";
  rule.EMailMessageOccurence = -1;
  rule.EMailMessageCharacter = "Unit";

  RecordingMessageBoxes boxes;
  EXPECT_TRUE(ConfirmLogMessageAction(rule, boxes));
  EXPECT_TRUE(ConfirmEMailAction(rule, "mail.example.org", boxes));
  EXPECT_TRUE(boxes.shown.empty());

  EXPECT_TRUE(ConfirmEMailAction(rule, "", boxes));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, kNoMailServer);
  EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::kInformation);

  rule.LogMessageCharacter.clear();
  rule.EMailMessageToAddress.clear();
  EXPECT_FALSE(ConfirmLogMessageAction(rule, boxes));
  EXPECT_FALSE(ConfirmEMailAction(rule, "", boxes));
  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown[1].text,
            "Not all information has been entered in the 'Log message in Messages window' "
            "configuration window.");
  EXPECT_EQ(boxes.shown[2].text,
            "Not all information has been entered in the 'Send e-mail message' configuration "
            "window.");
  EXPECT_EQ(boxes.shown[2].title, "Kestrel");
}

}  // namespace
}  // namespace kestrel
