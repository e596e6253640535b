#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "app/display/messages_list.h"
#include "app/traffic/record.h"
#include "support/records.h"
#include "support/run_program.h"
#include "support/scratch_directory.h"

namespace {

using kestrel_test::Record;
using kestrel_test::RunResult;
using kestrel_test::Stored;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// The lines of one section of the report, without its heading.
std::vector<std::string> Section(const RunResult& result, const std::string& name) {
  std::vector<std::string> lines;
  bool inside = false;
  for (const std::string& line : result.lines) {
    if (line.starts_with("[") && line.ends_with("]")) {
      inside = line == "[" + name + "]";
    } else if (inside) {
      lines.push_back(line);
    }
  }
  return lines;
}

std::string Details(const std::string& stored) {
  return kestrel::MessagesFormat(kestrel::From(stored, 13));
}

class KestrelReplayTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    return scratch_.Write(name, text);
  }
  std::string Records(const std::vector<std::string>& records) {
    std::string text;
    for (const std::string& record : records) text += kestrel::HexText(record) + "\n\n";
    return Write("records.txt", text);
  }
  RunResult Run(std::vector<std::string> args) {
    return kestrel_test::RunProgram(KESTREL_REPLAY_PATH, std::move(args), dir_);
  }

  kestrel_test::ScratchDirectory scratch_{"kestrel_replay_test"};
  const std::string dir_ = scratch_.path().string();
};

TEST_F(KestrelReplayTest, DefaultRulesLogMessagesAndDispatches) {
  const RunResult result = Run({"--records", Records({Record(0x0101, true, "A MESSAGE FOR YOU"),
                                                      Record(0x0202, true, "Dispatch to Main"),
                                                      Record(0x0303, true, "nothing")})});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_THAT(
      Section(result, "Messages"),
      ElementsAre("Message\t0101\t" + Details(Stored(0x0101, true, "A MESSAGE FOR YOU")) + "\t1",
                  "Dispatch\t0202\t" + Details(Stored(0x0202, true, "Dispatch to Main")) + "\t2"));
  EXPECT_THAT(Section(result, "Terminals"), ElementsAre("0101\t", "0202\t", "0303\t"));
  EXPECT_THAT(Section(result, "MDT"), ::testing::Contains("Terminal: 0303"));
  EXPECT_TRUE(Section(result, "Mail").empty());
}

TEST_F(KestrelReplayTest, SampleRecordingGivesWhatItsRecordsGive) {
  const RunResult from_audio = Run({SAMPLE_RECORDING});
  ASSERT_EQ(from_audio.status, 0) << from_audio.err;
  const RunResult from_records = Run({"--records", SAMPLE_RECORDS});
  ASSERT_EQ(from_records.status, 0) << from_records.err;
  EXPECT_EQ(from_audio.out, from_records.out);

  const std::vector<std::string> rows = Section(from_audio, "Messages");
  ASSERT_FALSE(rows.empty());
  for (const std::string& row : rows) {
    std::string upper = row;
    for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
    const std::string word = row.starts_with("Dispatch\t") ? "DISPATCH" : "MESSAGE";
    EXPECT_THAT(upper.substr(upper.find('\t')), HasSubstr(word)) << row;
  }
  EXPECT_GE(Section(from_audio, "Terminals").size(), 8u);
}

TEST_F(KestrelReplayTest, ProfileRulesMailAndPrintAtTheGivenTime) {
  const std::string profile =
      Write("p.ini", "[Settings]\r\nVersion=1.6.1\r\nSMTPMailServer=127.0.0.1:2525\r\n");
  Write("pRules.ini",
        "[Rules]\nRules=2\n"
        "Name1=Fire mail\nActive1=True\nMessageBody1=*FIRE*\nEMailMessages1=True\n"
        "EMailMessageToAddress1=chief@example.test, duty@example.test\n"
        "EMailMessageSubject1=Fire: %T\nEMailMessageVerb1=with\nEMailMessageOccurence1=1\n"
        "EMailMessageCharacter1=character\nEMailMessageSplit1=True\nEMailMessageSplitChars1=40\n"
        "LogPrinter1=True\n"
        "Name2=Quiet hours\nActive2=True\nMessageBody2=*SMOKE*\nEMailMessages2=True\n"
        "EMailMessageToAddress2=x@example.test\nEMailMessageSubject2=Smoke\n"
        "EMailMessageDisabledHours2=2:9\n");
  const std::string pdf = dir_ + "/printout.pdf";
  // A Tuesday at 09:15: the second rule's mail is off for the hour.
  const RunResult result =
      Run({"--profile", profile, "--now", "2026-12-08 09:15:00", "--print-to", pdf, "--records",
           Records({Record(0x0101, true, "FIRE ON MAIN ST, ALL UNITS RESPOND TO 5TH AVE"),
                    Record(0x0202, true, "SMOKE SEEN")})});
  // Nothing listens at the profile's server: both mails are listed, and reported as not sent.
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_THAT(result.err, HasSubstr("(\"Fire: FIRE ON MAIN ST, ALL UNITS RESPOND TO 5T / H AVE\") "
                                    "not sent: "));
  EXPECT_THAT(result.err, HasSubstr("(Part 2)\") not sent: "));
  // The body is wrapped at 40 columns (47 characters with the line break), then split at 40.
  const std::string subject = "Fire: FIRE ON MAIN ST, ALL UNITS RESPOND TO 5T / H AVE";
  const std::string to = "chief@example.test, duty@example.test";
  EXPECT_THAT(Section(result, "Mail"),
              ElementsAre(to + "\t" + subject + "\t40", to + "\t" + subject + " (Part 2)\t7"));
  EXPECT_TRUE(Section(result, "Messages").empty());
  EXPECT_EQ(kestrel_test::ReadText(pdf).substr(0, 5), "%PDF-");
}

TEST_F(KestrelReplayTest, BadInputIsRefusedClearly) {
  RunResult result = Run({dir_ + "/missing.wav"});
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("missing.wav"));

  result = Run({"--records", Write("bad.txt", "75C0\n75CX\n")});
  EXPECT_EQ(result.status, 1);
  EXPECT_THAT(result.err, HasSubstr("line 2"));

  result = Run({"--now", "2026-13-01 10:00:00", "--records", Write("empty.txt", "")});
  EXPECT_EQ(result.status, 2);
  result = Run({});
  EXPECT_EQ(result.status, 2);
}

}  // namespace
