#include "app/network/network_connections.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kestrel {
namespace {

using std::chrono::minutes;
using std::chrono::seconds;

// hh:mm:ss on a day of the clock, counted from a whole minute.
Clock::TimePoint At(int hours, int mins, int secs) {
  constexpr int64_t kMidnight = 19'700LL * 86'400;  // a day boundary, so a minute boundary too
  return Clock::TimePoint(seconds(kMidnight + hours * 3600 + mins * 60 + secs));
}

TEST(MinuteBoundariesTest, CountsTheBoundariesPassedNotTheMinutesElapsed) {
  EXPECT_EQ(MinuteBoundaries(At(12, 0, 0), At(12, 0, 59)), 0);
  EXPECT_EQ(MinuteBoundaries(At(12, 0, 59), At(12, 1, 0)), 1);
  EXPECT_EQ(MinuteBoundaries(At(12, 0, 0), At(12, 1, 59)), 1);
  EXPECT_EQ(MinuteBoundaries(At(11, 59, 30), At(12, 2, 0)), 3);
  EXPECT_EQ(MinuteBoundaries(At(12, 2, 0), At(12, 0, 30)), -2);
  // Before the epoch the division rounds down too.
  EXPECT_EQ(MinuteBoundaries(Clock::TimePoint(seconds(-1)), Clock::TimePoint(seconds(0))), 1);
  EXPECT_EQ(MinuteBoundaries(Clock::TimePoint(seconds(-61)), Clock::TimePoint(seconds(-60))), 1);
}

class NetworkConnectionsTest : public testing::Test {
 protected:
  ManualClock clock_{At(12, 0, 30)};
  NetworkConnections list_{clock_};
};

TEST_F(NetworkConnectionsTest, AddsInArrivalOrderWithRisingIndexes) {
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_EQ(list_.Add("10.0.0.1"), 1);
  EXPECT_EQ(list_.Add("10.0.0.2"), 2);
  EXPECT_EQ(list_.Add("host.example"), 3);
  ASSERT_EQ(list_.Count(), 3);
  for (int position = 1; position <= 3; ++position) EXPECT_EQ(list_.Index(position), position);
  EXPECT_EQ(list_.RemoteHost(1), "10.0.0.1");
  EXPECT_EQ(list_.RemoteHost(2), "10.0.0.2");
  EXPECT_EQ(list_.RemoteHost(3), "host.example");
}

TEST_F(NetworkConnectionsTest, RemoveClosesTheGapAndIgnoresUnknownIndexes) {
  for (const char* host : {"a", "b", "c", "d"}) list_.Add(host);
  list_.Remove(2);
  ASSERT_EQ(list_.Count(), 3);
  EXPECT_EQ(list_.Index(1), 1);
  EXPECT_EQ(list_.Index(2), 3);
  EXPECT_EQ(list_.Index(3), 4);
  EXPECT_EQ(list_.RemoteHost(2), "c");
  EXPECT_EQ(list_.RemoteHost(3), "d");
  // Indexes, not positions: 3 is now at position 2.
  list_.Remove(3);
  EXPECT_EQ(list_.RemoteHost(2), "d");
  for (int unknown : {0, 2, 3, 5, -1}) list_.Remove(unknown);
  ASSERT_EQ(list_.Count(), 2);
  list_.Remove(4);
  list_.Remove(1);
  EXPECT_EQ(list_.Count(), 0);
}

TEST_F(NetworkConnectionsTest, IndexesAreNeverHandedOutTwice) {
  list_.Add("a");
  list_.Add("b");
  list_.Remove(2);
  EXPECT_EQ(list_.Add("b"), 3);
  list_.Remove(1);
  list_.Remove(3);
  EXPECT_EQ(list_.Count(), 0);
  EXPECT_EQ(list_.Add("a"), 4);
  EXPECT_EQ(list_.Index(1), 4);
}

TEST_F(NetworkConnectionsTest, PositionsOutOfRangeReadAsNothing) {
  list_.Add("a");
  clock_.Advance(minutes(30));
  for (int position : {0, 2, -1}) {
    EXPECT_EQ(list_.Index(position), 0);
    EXPECT_EQ(list_.RemoteHost(position), "");
    EXPECT_FALSE(list_.Gone(position));
  }
  EXPECT_TRUE(list_.Gone(1));
}

TEST_F(NetworkConnectionsTest, GoneAfterMoreThanFiveMinuteBoundaries) {
  list_.Add("a");  // 12:00:30
  clock_.Set(At(12, 5, 59));
  EXPECT_FALSE(list_.Gone(1)) << "5 boundaries";
  clock_.Set(At(12, 6, 0));
  EXPECT_TRUE(list_.Gone(1)) << "6 boundaries";
}

TEST_F(NetworkConnectionsTest, GoneCountsBoundariesSoFiveMinutesAndASecondCanBeEnough) {
  clock_.Set(At(12, 0, 59));
  list_.Add("a");
  clock_.Set(At(12, 6, 0));  // 5 minutes 1 second, 6 boundaries
  EXPECT_TRUE(list_.Gone(1));
  clock_.Set(At(12, 0, 0));
  list_.Add("b");
  clock_.Set(At(12, 5, 59));  // nearly 6 minutes, 5 boundaries
  EXPECT_FALSE(list_.Gone(2));
}

TEST_F(NetworkConnectionsTest, UpdateTimeRestartsTheCountForThatClientOnly) {
  list_.Add("a");
  list_.Add("b");
  clock_.Set(At(12, 4, 0));
  list_.UpdateTime(2);
  list_.UpdateTime(7);  // unknown: nothing
  clock_.Set(At(12, 9, 59));
  EXPECT_TRUE(list_.Gone(1));
  EXPECT_FALSE(list_.Gone(2));
  clock_.Set(At(12, 10, 0));
  EXPECT_TRUE(list_.Gone(2));
}

TEST_F(NetworkConnectionsTest, ASweepFindsEveryGoneClientEvenNeighbours) {
  for (const char* host : {"a", "b", "c", "d", "e"}) list_.Add(host);  // 12:00:30
  clock_.Set(At(12, 3, 0));
  list_.UpdateTime(3);
  clock_.Set(At(12, 6, 0));
  EXPECT_EQ(list_.GoneIndexes(), (std::vector<int>{1, 2, 4, 5}));
  for (int index : list_.GoneIndexes()) list_.Remove(index);
  ASSERT_EQ(list_.Count(), 1);
  EXPECT_EQ(list_.RemoteHost(1), "c");
  EXPECT_TRUE(list_.GoneIndexes().empty());
}

}  // namespace
}  // namespace kestrel
