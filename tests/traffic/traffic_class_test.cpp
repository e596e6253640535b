#include "app/traffic/traffic_class.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/traffic/terminal_aliases.h"
#include "support/records.h"

namespace kestrel {
namespace {

using kestrel_test::Stored;
using ::testing::HasSubstr;

class TrafficClassTest : public ::testing::Test {
 protected:
  int Add(uint16_t terminal, bool tx, std::string_view text) {
    const std::string record = Stored(terminal, tx, text);
    return traffic_.Add(GetTerminalAddress(record, settings_), "", record);
  }
  std::string Separator() const { return "\r\n\r\n" + SeparatorLine(settings_) + "\r\n"; }

  Settings settings_;
  TerminalAliases aliases_;
  TrafficClass traffic_{settings_, aliases_};
};

TEST(GetTerminalAddressTest, HexOfTheAddressBytesThatExist) {
  Settings settings;
  const std::string record = Stored(0x0A1B, true, "x");
  EXPECT_EQ(GetTerminalAddress(record, settings), "0A1B");
  settings.TerminalAddressStart = 1;
  settings.TerminalAddressEnd = 2;
  EXPECT_EQ(GetTerminalAddress(record, settings), "75C0");
  settings.TerminalAddressEnd = 1000;  // beyond the record: only what is there
  EXPECT_EQ(GetTerminalAddress(record, settings).size(), record.size() * 2);
  settings.TerminalAddressStart = 5;
  settings.TerminalAddressEnd = 4;
  EXPECT_EQ(GetTerminalAddress(record, settings), "");
}

TEST_F(TrafficClassTest, RebuildsMessagesFromContinuations) {
  EXPECT_EQ(Add(0x0101, false, "first"), 1);  // a terminal's first record starts a message
  EXPECT_FALSE(traffic_.Continuation());
  EXPECT_EQ(Add(0x0101, false, " more"), 0);
  EXPECT_TRUE(traffic_.Continuation());
  EXPECT_EQ(traffic_.RetrieveLast("0101"), Stored(0x0101, false, "first more"));
  EXPECT_EQ(Add(0x0101, true, "new"), 0);
  EXPECT_FALSE(traffic_.Continuation());
  EXPECT_EQ(traffic_.Retrieve("0101"), "first more" + Separator() + "new");
  EXPECT_EQ(traffic_.RetrieveLast("0202"), "");
  EXPECT_EQ(traffic_.Retrieve("0202"), "");
}

TEST_F(TrafficClassTest, KeepsLastThirtyMessagesOldestFirst) {
  for (int i = 1; i <= 31; ++i) Add(0x0101, true, std::string("m").append(std::to_string(i)));
  std::string expected;
  for (int i = 2; i <= 31; ++i) {
    expected.append("m").append(std::to_string(i));
    if (i < 31) expected.append(Separator());
  }
  EXPECT_EQ(traffic_.Retrieve("0101"), expected);
}

TEST_F(TrafficClassTest, AllTrafficRowFollowsArrivalOrder) {
  aliases_.Assign("0202", "Car 2");
  Add(0x0101, true, "a");
  Add(0x0101, false, "b");  // same terminal: the same entry
  Add(0x0202, false, "c");  // another terminal: a new entry even without "TX"
  Add(0x0101, false, "d");  // back to the first: new entry in the all-traffic row only
  EXPECT_EQ(traffic_.Retrieve("<all>"), "Terminal: 0101\r\n\r\nab" + Separator() +
                                            "Terminal: 0202 (Car 2)\r\n\r\nc" + Separator() +
                                            "Terminal: 0101\r\n\r\nd");
  EXPECT_EQ(traffic_.Retrieve("0101"), "abd");
  traffic_.Remove("<all>");
  EXPECT_EQ(traffic_.Retrieve("<all>"), "");
  EXPECT_EQ(traffic_.Retrieve("0101"), "abd");
}

TEST_F(TrafficClassTest, DuplicateIsTheSameLastRecordOfAKnownTerminal) {
  const std::string record = Stored(0x0101, true, "hello");
  EXPECT_FALSE(traffic_.Duplicate("0101", record));
  traffic_.Add("0101", "", record);
  EXPECT_TRUE(traffic_.Duplicate("0101", record));
  EXPECT_FALSE(traffic_.Duplicate("0101", Stored(0x0101, true, "hellO")));
  EXPECT_FALSE(traffic_.Duplicate("0202", record));
}

TEST_F(TrafficClassTest, RemovedTerminalStartsAfresh) {
  Add(0x0101, true, "one");
  Add(0x0202, true, "two");
  Add(0x0303, true, "three");
  traffic_.Remove("0202");
  traffic_.Remove("9999");
  EXPECT_EQ(traffic_.TerminalCount(), 2);
  EXPECT_EQ(traffic_.Retrieve("0303"), "three");
  EXPECT_EQ(Add(0x0202, false, "again"), 1);
  EXPECT_EQ(traffic_.Retrieve("0202"), "again");
}

TEST_F(TrafficClassTest, TagsFollowTheCurrentMessage) {
  Add(0x0101, true, "one");
  traffic_.SetMessagesTag("0101", 7);
  Add(0x0101, false, "+");
  EXPECT_EQ(traffic_.GetMessagesTag("0101"), 7);
  traffic_.RemoveListItem("0101", 7);
  EXPECT_EQ(traffic_.GetMessagesTag("0101"), 0);
  traffic_.SetMessagesTag("0101", 8);
  Add(0x0101, true, "two");
  EXPECT_EQ(traffic_.GetMessagesTag("0101"), 0);
  EXPECT_EQ(traffic_.GetMessagesTag("0202"), 0);
}

TEST_F(TrafficClassTest, BoundsHistoriesAndMessages) {
  const std::string line(900, 'x');
  for (int i = 0; i < 30; ++i) Add(0x0101, true, line);
  EXPECT_EQ(traffic_.Retrieve("0101").size(), TrafficClass::kMaxHistoryLength);

  // A terminal that never starts a new message stops growing at the cap.
  Add(0x0202, true, "start");
  for (int i = 0; i < 100; ++i) Add(0x0202, false, line);
  EXPECT_EQ(traffic_.RetrieveLast("0202").size(), TrafficClass::kMaxMessageLength);
  EXPECT_THAT(traffic_.RetrieveLast("0202"), HasSubstr("TX"));
}

}  // namespace
}  // namespace kestrel
