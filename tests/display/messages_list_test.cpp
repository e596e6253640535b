#include "app/display/messages_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

using ::testing::ElementsAre;

TEST(MessagesFormatTest, OneLineWithCommasForLineEnds) {
  EXPECT_EQ(MessagesFormat("UNIT 7 \rRESPOND\r\rCODE 3"), "UNIT 7, RESPOND..CODE 3");
  EXPECT_EQ(MessagesFormat("A     B \r  C"), "A B, C");  // runs of blanks, also after ", "
  EXPECT_EQ(MessagesFormat(std::string("X\x01\tY\x7F\xE9", 6)), "X..Y\x7F\xE9");
  EXPECT_EQ(MessagesFormat("\x1b[7mHOT\x1b[0m \x1b[2;5HLINE\x0C\x1E"), "HOT LINE");
  EXPECT_EQ(MessagesFormat(""), "");
}

std::vector<int32_t> Tags(const MessagesList& list) {
  std::vector<int32_t> tags;
  for (const MessagesRow& row : list.Rows()) tags.push_back(row.tag);
  return tags;
}

TEST(MessagesListTest, RowsAreFoundAndChangedByTag) {
  MessagesList list;
  EXPECT_TRUE(list.Append("Message", 4));
  EXPECT_TRUE(list.Append("Dispatch", 9));
  EXPECT_FALSE(list.Append("Again", 4));  // tags name rows: never two with one tag
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Find(9), 1);
  EXPECT_EQ(list.Find(5), -1);

  EXPECT_TRUE(list.SetTo(9, "1234 (Unit 7)"));
  EXPECT_TRUE(list.SetDetails(9, "FIRE ON MAIN"));
  EXPECT_TRUE(list.SetReceived(9, "12:00:01"));
  EXPECT_TRUE(list.SetColour(9, 16711680));
  EXPECT_TRUE(list.SetType(9, "Fire"));
  EXPECT_FALSE(list.SetType(5, "Nothing"));
  const MessagesRow* row = list.Row(9);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->type, "Fire");
  EXPECT_EQ(row->to, "1234 (Unit 7)");
  EXPECT_EQ(row->details, "FIRE ON MAIN");
  EXPECT_EQ(row->received, "12:00:01");
  EXPECT_EQ(row->colour, 16711680);
  EXPECT_EQ(list.Row(4)->colour, kDefaultColour);

  list.AppendBlankToReceived();
  list.AppendBlankToReceived();
  EXPECT_EQ(list.Row(9)->received, "12:00:01  ");
  EXPECT_EQ(list.Row(4)->received, "  ");

  EXPECT_TRUE(list.Remove(4));
  EXPECT_FALSE(list.Remove(4));
  EXPECT_THAT(Tags(list), ElementsAre(9));
}

TEST(MessagesListTest, SortIsStableWithoutCaseAndKeepsArrivalOrder) {
  MessagesList list;
  const char* types[] = {"beta", "Alpha", "Beta", "alpha", "gamma"};
  for (int32_t tag = 1; tag <= 5; ++tag) list.Append(types[tag - 1], tag);
  EXPECT_EQ(list.OldestArrived(), 1);

  list.Sort(MessagesList::kType, true);
  EXPECT_THAT(Tags(list), ElementsAre(2, 4, 1, 3, 5));
  list.Sort(MessagesList::kType, false);
  EXPECT_THAT(Tags(list), ElementsAre(5, 1, 3, 2, 4));

  list.SetReceived(3, "00:00:01");
  list.Sort(MessagesList::kReceived, true);
  EXPECT_THAT(Tags(list), ElementsAre(5, 1, 2, 4, 3));

  // Arrival, not position, tells which row came first.
  EXPECT_EQ(list.OldestArrived(), 1);
  list.Remove(1);
  EXPECT_EQ(list.OldestArrived(), 2);
  list.Append("new", 6);
  EXPECT_EQ(list.Find(6), 4);
  EXPECT_EQ(list.OldestArrived(), 2);

  MessagesList empty;
  EXPECT_EQ(empty.OldestArrived(), 0);
}

struct RecordingObserver : MessagesList::Observer {
  void BeforeInsert(int position) override { Note('+', position); }
  void AfterInsert() override { calls.emplace_back("+"); }
  void BeforeRemove(int position) override { Note('-', position); }
  void AfterRemove() override { calls.emplace_back("-"); }
  void Changed(int first, int last) override {
    Note('=', first);
    calls.back() += ':' + std::to_string(last);
  }
  void BeforeReorder() override { calls.emplace_back("<"); }
  void AfterReorder() override { calls.emplace_back(">"); }
  void Note(char what, int position) {
    calls.emplace_back(1, what);
    calls.back() += std::to_string(position);
  }
  std::vector<std::string> calls;
};

TEST(MessagesListTest, ObserverHearsEveryChangeAroundIt) {
  MessagesList list;
  RecordingObserver observer;
  list.SetObserver(&observer);
  list.Append("a", 1);
  list.Append("b", 2);
  list.Append("a", 1);  // refused: no change
  list.SetDetails(2, "x");
  list.SetDetails(3, "x");  // no row: no change
  list.AppendBlankToReceived();
  list.Sort(MessagesList::kType, false);
  list.Remove(1);
  EXPECT_THAT(observer.calls,
              ElementsAre("+0", "+", "+1", "+", "=1:1", "=0:1", "<", ">", "-1", "-"));
}

}  // namespace
}  // namespace kestrel
