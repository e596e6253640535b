#include "app/traffic/process_sieve.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <new>

#include "support/fake_main_view.h"
#include "support/records.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

using kestrel_test::FakeMainView;
using kestrel_test::Record;
using kestrel_test::Stored;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Pair;

struct RuleCall {
  std::string message;
  std::optional<int32_t> row;
  bool operator==(const RuleCall&) const = default;
};

struct FakeRules : RuleProcessor {
  void ProcessRules(const std::string& message, std::optional<int32_t> row) override {
    if (fail) throw std::bad_alloc();
    calls.push_back({message, row});
  }
  std::vector<RuleCall> calls;
  bool fail = false;
};

class ProcessSieveTest : public ::testing::Test {
 protected:
  ProcessSieveTest() {
    view_.selected_terminal = "<all>";
    aliases_.Assign("0101", "Car 1");
  }

  void Receive(const std::string& record) { processor_.ProcessSieve(record); }
  std::string Last(const char* address) { return traffic_.RetrieveLast(address); }

  Settings settings_;
  FakeMainView view_;
  TerminalAliases aliases_;
  TrafficClass traffic_{settings_, aliases_};
  MessagesClass messages_;
  FakeRules rules_;
  ManualClock clock_;
  RecordingMessageBoxes boxes_;
  CaptureWriter capture_{settings_, clock_, boxes_};
  PlainTextWindow raw_window_;
  RawData raw_data_;
  PlainTextWindow mdt_window_;
  MdtDisplay mdt_{settings_, view_, traffic_, mdt_window_};
  ErrorReporter errors_{settings_, boxes_};
  TrafficProcessor processor_{TrafficServices{settings_, view_, traffic_, messages_, aliases_,
                                              rules_, capture_, raw_data_, mdt_, errors_}};
};

TEST_F(ProcessSieveTest, DropsShortRecordsAndUnknownStarts) {
  raw_data_.Attach(&raw_window_);
  Receive(Record(0x0202, false, "").substr(0, 13));
  Receive("\x76" + Record(0x0202, true, "x").substr(1));
  EXPECT_EQ(traffic_.TerminalCount(), 0);
  EXPECT_EQ(view_.traffic_seen, 2);
  EXPECT_THAT(raw_window_.Text(), HasSubstr("\r\nv"));  // rejected records still show raw

  Receive(Record(0x0202, false, "").substr(0, 14));
  EXPECT_EQ(traffic_.TerminalCount(), 1);
}

TEST_F(ProcessSieveTest, ThirtyFivePrefixIsAcceptedUnlessIgnored) {
  const std::string record = "\x35" + Record(0x0202, true, "five").substr(1);
  settings_.Ignore35Prefix = true;
  Receive(record);
  EXPECT_EQ(traffic_.TerminalCount(), 0);
  settings_.Ignore35Prefix = false;
  Receive(record);
  EXPECT_EQ(traffic_.TerminalCount(), 1);
}

TEST_F(ProcessSieveTest, DownloadedStringsCanBeIgnored) {
  std::string record = Record(0x0202, true, "F1=HELP");
  record[17] = 0x40;
  settings_.IgnoreDownloadedStrings = true;
  Receive(record);
  EXPECT_EQ(traffic_.TerminalCount(), 0);
  settings_.IgnoreDownloadedStrings = false;
  Receive(record);
  EXPECT_EQ(traffic_.TerminalCount(), 1);
}

TEST_F(ProcessSieveTest, SplitsAtEveryFurtherRecordStartFirst) {
  raw_data_.Attach(&raw_window_);
  const std::string a = Record(0x0101, true, "first");
  const std::string b = Record(0x0202, true, "second");
  const std::string noise = "\x75\x13\x99";  // too short on its own
  Receive(noise + a + b);
  EXPECT_EQ(Last("0101"), Stored(0x0101, true, "first"));
  EXPECT_EQ(Last("0202"), Stored(0x0202, true, "second"));
  EXPECT_THAT(view_.terminal_rows, ElementsAre(Pair("0101", "Car 1"), Pair("0202", "")));
  // Every piece reached the raw data window as well as the whole.
  EXPECT_EQ(view_.traffic_seen, 5);
  EXPECT_EQ(raw_window_.Text(), RawDataText(noise + a + b) + RawDataText(noise) +
                                    RawDataText(a + b) + RawDataText(a) + RawDataText(b));
}

TEST_F(ProcessSieveTest, TrimsTrailerByCodeOrByAaPair) {
  const std::string body = "Body";
  for (int code : {0, 4, 8, 12, 16, 20}) {
    std::string record = Record(0x0101, true, body, "ABCDEFG");
    record[7] = char(code);
    Receive(record);
    EXPECT_EQ(Last("0101"), record.substr(0, record.size() - size_t(code / 4 + 2))) << code;
  }
  std::string searched = Record(0x0202, true, "Text", "\x01\xAA\xAA\x02\x03");
  searched[7] = 3;
  Receive(searched);
  // The pair and the character before it go.
  EXPECT_EQ(Last("0202"), searched.substr(0, 19) + "Text");

  std::string zeros = Record(0x0303, true, std::string("Text\0\0", 6), "\x05\x06");
  zeros[7] = 3;
  Receive(zeros);
  EXPECT_EQ(Last("0303"), zeros.substr(0, 19) + "Text");
}

TEST_F(ProcessSieveTest, LengthCodeCutsOffWhatFollowsTheBlocks) {
  std::string record = Record(0x0101, true, "0123456789", "");  // 29 characters
  record += std::string(12, '\x7E');                            // 41 characters
  record[6] = char(126 + 5);                                    // L = 30: 11 left over
  record[7] = 0;
  Receive(record);
  EXPECT_EQ(Last("0101"), record.substr(0, 28));  // cut to 30, then the 2-byte trailer
}

TEST_F(ProcessSieveTest, OddRecordsAreHandledWithoutFailure) {
  settings_.TerminalAddressEnd = 200;  // address bytes beyond the record
  std::string record = Record(0x0101, false, "");
  record[6] = char(255);  // length code far past the end
  record[7] = 20;         // a trailer longer than what is left after the header
  Receive(record);
  record[6] = 0;  // negative length
  record[7] = 3;  // search
  Receive(record.substr(0, 14));
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(traffic_.TerminalCount(), 2);
}

TEST_F(ProcessSieveTest, DuplicateOnlyTellsTheStatusBar) {
  const std::string record = Record(0x0101, true, "hello");
  Receive(record);
  Receive(record);
  EXPECT_THAT(view_.status_texts,
              ElementsAre("Received traffic for terminal 0101 (Car 1)",
                          "Received duplicate traffic for terminal 0101 (Car 1)"));
  EXPECT_EQ(view_.timer_restarts, 2);
  EXPECT_EQ(rules_.calls.size(), 1u);
  EXPECT_EQ(traffic_.Retrieve("0101"), "hello");
  EXPECT_EQ(view_.terminal_rows.size(), 1u);
}

TEST_F(ProcessSieveTest, RulesSeeNewMessagesAndWholeContinuations) {
  Receive(Record(0x0101, true, "Start"));
  Receive(Record(0x0101, false, " and more"));
  const std::string whole = Stored(0x0101, true, "Start and more");
  EXPECT_THAT(rules_.calls, ElementsAre(RuleCall{Stored(0x0101, true, "Start"), std::nullopt},
                                        RuleCall{whole, std::nullopt}));
}

TEST_F(ProcessSieveTest, ContinuationUpdatesTheMessagesRowThatShowsIt) {
  Receive(Record(0x0101, true, "Start"));
  const int32_t tag = messages_.Add(Last("0101"));
  traffic_.SetMessagesTag("0101", tag);
  view_.messages_rows.insert(tag);
  view_.selected_messages_row = tag;
  view_.mdt_shows_message = true;
  view_.message_details_visible = true;

  Receive(Record(0x0101, false, " more"));
  const std::string whole = Stored(0x0101, true, "Start more");
  EXPECT_EQ(messages_.Retrieve(tag), whole);
  EXPECT_EQ(rules_.calls.back(), (RuleCall{whole, tag}));
  ASSERT_EQ(view_.details_calls.size(), 2u);
  EXPECT_FALSE(view_.details_calls[0].details_window);
  EXPECT_TRUE(view_.details_calls[1].details_window);

  // A row that has gone is not updated.
  view_.messages_rows.clear();
  Receive(Record(0x0101, false, " again"));
  EXPECT_EQ(messages_.Retrieve(tag), whole);
  EXPECT_EQ(rules_.calls.back().row, std::nullopt);
}

TEST_F(ProcessSieveTest, MdtDisplayShowsBlocksPerTerminal) {
  Receive(Record(0x0101, true, "Hello"));
  Receive(Record(0x0101, false, " world"));
  Receive(Record(0x0202, true, "Other"));
  EXPECT_EQ(mdt_window_.Text(), "Terminal: 0101 (Car 1)\r\n\r\nHello world\r\n\r\n" +
                                    SeparatorLine(settings_) + "\r\nTerminal: 0202\r\n\r\nOther");
}

TEST_F(ProcessSieveTest, CapturesStoredRecordsOnly) {
  const kestrel_test::ScratchDirectory scratch("process_sieve_test");
  ASSERT_TRUE(capture_.StartToFile(scratch.Path("capture.txt")));
  const std::string record = Record(0x0101, true, "Captured");
  Receive(record);
  Receive(record);                                   // duplicate
  Receive(Record(0x0202, true, "x").substr(0, 13));  // rejected
  capture_.Stop();
  EXPECT_EQ(scratch.Read("capture.txt"),
            CaptureBlock(settings_, "0101", "Car 1", Stored(0x0101, true, "Captured")) + "\r\n");
}

TEST_F(ProcessSieveTest, UnexpectedFailureIsReportedAndTheRecordAbandoned) {
  rules_.fail = true;
  Receive(Record(0x0101, true, "x"));
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_THAT(boxes_.shown[0].text, HasSubstr("An error occured in ProcessSieve."));
  EXPECT_EQ(boxes_.shown[0].title, "Kestrel Error");
  EXPECT_TRUE(mdt_window_.Text().empty());
}

}  // namespace
}  // namespace kestrel
