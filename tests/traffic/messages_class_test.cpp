#include "app/traffic/messages_class.h"

#include <gtest/gtest.h>

namespace kestrel {
namespace {

// Builds "prefix" + number; GCC 12 warns falsely about string literal + std::string.
std::string Named(std::string prefix, int number) { return prefix += std::to_string(number); }

TEST(MessagesClass, NumbersStartAtOneAndAreNeverReused) {
  MessagesClass messages;
  EXPECT_EQ(messages.Add("first"), 1);
  EXPECT_EQ(messages.Add("second"), 2);
  messages.Remove(2);
  EXPECT_EQ(messages.Add("third"), 3);
  EXPECT_EQ(messages.Count(), 2);
  EXPECT_EQ(messages.Retrieve(1), "first");
  EXPECT_EQ(messages.Retrieve(2), "");
  EXPECT_EQ(messages.Retrieve(3), "third");
}

TEST(MessagesClass, RemoveRetrieveAndUpdateActOnlyOnTheirNumber) {
  MessagesClass messages;
  for (int i = 1; i <= 5; ++i) messages.Add(Named("m", i));
  messages.Remove(1);  // the oldest, as the row limit does
  messages.Remove(3);
  messages.Remove(3);
  messages.Remove(99);
  messages.Remove(0);
  EXPECT_EQ(messages.Count(), 3);
  messages.Update(4, "m4 continued");
  messages.Update(3, "gone");
  messages.Update(-1, "none");
  EXPECT_EQ(messages.Retrieve(2), "m2");
  EXPECT_EQ(messages.Retrieve(3), "");
  EXPECT_EQ(messages.Retrieve(4), "m4 continued");
  EXPECT_EQ(messages.Retrieve(5), "m5");
  EXPECT_EQ(messages.Retrieve(0), "");
}

TEST(MessagesClass, NumbersGoBeyondSixteenBits) {
  MessagesClass messages;
  int32_t number = 0;
  for (int i = 0; i < 70000; ++i) {
    number = messages.Add(std::to_string(i));
    if (messages.Count() > 50) messages.Remove(number - 50);
  }
  EXPECT_EQ(number, 70000);
  EXPECT_EQ(messages.Count(), 50);
  EXPECT_EQ(messages.Retrieve(32768), "");
  EXPECT_EQ(messages.Retrieve(69999), "69998");
  EXPECT_EQ(messages.Retrieve(70000 - 50), "");
  EXPECT_EQ(messages.Retrieve(70000 - 49), "69950");
}

}  // namespace
}  // namespace kestrel
