#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
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

// Replays of made signals and profiles; a failure gives one line on standard error and a
// non-zero exit.
class ReplayCheckTest : public KestrelReplayTest {
 protected:
  // mdcgen's signal of the messages (one "address text" line each) in `name`.
  std::string Signal(const std::string& name, const std::vector<std::string>& options) {
    std::vector<std::string> args = {"--messages", Write("messages.txt", kMessages), "-o",
                                     dir_ + "/" + name};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult made = kestrel_test::RunProgram(MDCGEN_PATH, args, dir_);
    EXPECT_EQ(made.status, 0) << made.err;
    return dir_ + "/" + name;
  }
  // The Messages rows' types and terminals.
  static std::vector<std::string> Rows(const RunResult& result) {
    std::vector<std::string> rows;
    for (const std::string& row : Section(result, "Messages"))
      rows.push_back(row.substr(0, row.find('\t', row.find('\t') + 1)));
    return rows;
  }
  static void ExpectFailure(const RunResult& result, const std::string& line, int status = 1) {
    EXPECT_EQ(result.status, status) << result.err;
    EXPECT_EQ(result.err, "kestrel-replay: " + line + "\n");
  }
  std::string Profile(const std::string& settings) {
    return Write("p.ini", "[Settings]\r\nVersion=1.6.1\r\n" + settings);
  }

  static constexpr const char* kMessages =
      "0101 A MESSAGE FOR UNIT 1\n0202 DISPATCH TO MAIN ST\n0303 A MESSAGE FOR UNIT 3\n"
      "0404 DISPATCH CODE 3\n0505 STATUS ENRT\n0606 A MESSAGE AGAIN\n";
  const std::vector<std::string> all_rows_ = {"Message\t0101", "Dispatch\t0202", "Message\t0303",
                                              "Dispatch\t0404", "Message\t0606"};
};

TEST_F(ReplayCheckTest, PolarityFollowsTheProfileAndReverse) {
  const std::string audio = Signal("inverted.wav", {"--invert"});
  ExpectFailure(Run({audio}), audio + ": no frames decoded (reversed polarity? try --reverse)");
  EXPECT_EQ(Rows(Run({"--reverse", audio})), all_rows_);
  EXPECT_EQ(Rows(Run({"--profile", Profile("ReversePolarity=True\r\n"), audio})), all_rows_);
  // The COM port's key is for RM100 input only, and the sound card's for audio only.
  EXPECT_EQ(Run({"--profile", Profile("COMPortReversePolarity=True\r\n"), audio}).status, 1);

  const std::string rm100 = Signal("inverted.rm100", {"--invert"});
  EXPECT_EQ(Rows(Run({"--rm100", "--profile", Profile("COMPortReversePolarity=True\r\n"), rm100})),
            all_rows_);
  EXPECT_EQ(Rows(Run({"--rm100", "--reverse", rm100})), all_rows_);
  EXPECT_EQ(Run({"--rm100", "--profile", Profile("ReversePolarity=True\r\n"), rm100}).status, 1);
}

TEST_F(ReplayCheckTest, DecoderFollowsTheProfileAndTheLastOption) {
  // Squelched silence between transmissions: the exact decoder loses frames there.
  const std::string audio = Signal("squelch.wav", {"--squelch", "--snr", "12", "--seed", "3"});
  EXPECT_EQ(Rows(Run({audio})), all_rows_);
  const RunResult exact = Run({"--exact", audio});
  EXPECT_EQ(exact.status, 0) << exact.err;
  EXPECT_LT(Rows(exact).size(), all_rows_.size());
  const std::string exact_profile = Profile("DecoderMode=0\r\n");
  EXPECT_EQ(Rows(Run({"--profile", exact_profile, audio})), Rows(exact));
  EXPECT_EQ(Rows(Run({"--profile", exact_profile, "--robust", audio})), all_rows_);
  EXPECT_EQ(Rows(Run({"--exact", "--robust", audio})), all_rows_);
  EXPECT_EQ(Rows(Run({"--robust", "--exact", audio})), Rows(exact));
}

TEST_F(ReplayCheckTest, AnUnwritablePrintoutIsRefusedBeforeTheReplay) {
  const std::string records = Records({Record(0x0101, true, "A MESSAGE FOR YOU")});
  ExpectFailure(Run({"--print-to", dir_ + "/nodir/out.pdf", "--records", records}),
                dir_ + "/nodir/out.pdf: cannot be written: No such file or directory");
  ExpectFailure(Run({"--print-to", dir_, "--records", records}), dir_ + ": is a directory");

  // Nothing printed: no file, and a note that says why.
  const RunResult result = Run({"--print-to", dir_ + "/out.pdf", "--records", records});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "kestrel-replay: " + dir_ +
                            "/out.pdf not written: no rule that prints (LogPrinter) matched\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/out.pdf"));
}

TEST_F(ReplayCheckTest, AProfileThatCannotBeLoadedSaysWhy) {
  const std::string records = Records({Record(0x0101, true, "A MESSAGE FOR YOU")});
  const std::pair<std::string, std::string> cases[] = {
      {dir_ + "/missing.ini", "no such file"},
      {dir_, "is a directory"},
      {Write("junk.ini", std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)), "not a text file"},
      {Write("prose.ini", "some text\nwithout sections\n"), "no sections: not a profile"},
  };
  for (const auto& [profile, reason] : cases) {
    ExpectFailure(Run({"--profile", profile, "--records", records}),
                  "Unable to load profile " + profile + ": " + reason);
  }

  // Ignored values: one warning each, and the replay goes on with what is used instead.
  const std::string profile =
      Profile("MDTColumns=-5\r\nTerminalAddressStart=999999999\r\nTerminalAddressEnd=2\r\n");
  const RunResult result = Run({"--profile", profile, "--records", records});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err,
            "kestrel-replay: " + profile +
                ": MDTColumns=-5 ignored: not a whole number from 1 to 32767; using 40\n"
                "kestrel-replay: " +
                profile +
                ": TerminalAddressStart=999999999 ignored: not a whole number from 1 to 8192; "
                "using 3\n"
                "kestrel-replay: " +
                profile + ": TerminalAddressStart=3 is after TerminalAddressEnd=2; using 3 to 4\n");
  EXPECT_EQ(Rows(result), std::vector<std::string>{"Message\t0101"});
}

TEST_F(ReplayCheckTest, AnUnwritableLogFileIsReportedOncePerFile) {
  const std::string profile = Profile("");
  Write("pRules.ini",
        "[Rules]\r\nRules=2\r\nName1=Lost\r\nActive1=True\r\nLogFile1=True\r\n"
        "LogFilename1=" +
            dir_ +
            "/missing/lost.log\r\nName2=Kept\r\nActive2=True\r\n"
            "LogFile2=True\r\nLogFilename2=" +
            dir_ + "/kept.log\r\n");
  const RunResult result = Run({"--profile", profile, "--records",
                                Records({Record(0x0101, true, "ONE"), Record(0x0202, true, "TWO"),
                                         Record(0x0303, true, "THREE")})});
  ExpectFailure(result, "Cannot write the rule log file " + dir_ +
                            "/missing/lost.log: No such file or directory; its blocks are lost "
                            "until it can be written");
  // The report and the other rule's file are complete all the same.
  EXPECT_EQ(Section(result, "Terminals").size(), 3u);
  const std::string kept = kestrel_test::ReadText(dir_ + "/kept.log");
  EXPECT_NE(kept.find("Terminal: 0303"), std::string::npos);
}

TEST_F(ReplayCheckTest, BadRecordsAndDatesAreNamedExactly) {
  // The byte as 0xHH with its line and column: never raw, so no terminal sees an escape.
  const std::pair<std::string, std::string> bad[] = {
      {"75C0\n75\xFF"
       "C0\n",
       "line 2: byte 0xFF at column 3"},
      {"# a comment\n  75\x1B[2J\n", "line 2: byte 0x1B at column 5"},
      {std::string("75C0\n7\0", 7), "line 2: byte 0x00 at column 2"},
      {"75 CX\n", "line 1: 'X' at column 5"},
  };
  for (const auto& [text, where] : bad) {
    const std::string file = Write("bad.txt", text);
    ExpectFailure(Run({"--records", file}), file + ": " + where + " is not a hexadecimal digit");
  }
  ExpectFailure(Run({"--records", dir_}), dir_ + ": is a directory");
  // Comment lines are skipped, as in mdcgen's frame files.
  EXPECT_EQ(Run({"--records", Write("commented.txt", "# none yet\n")}).status, 0);

  // The clock's nanoseconds run out in April 2262, so the last whole year it takes is 2261.
  for (const char* when : {"1969-12-31 23:59:59", "2262-01-01 00:00:00", "9999-12-31 23:59:59"}) {
    const RunResult result = Run({"--now", when, "--records", Write("empty.txt", "")});
    EXPECT_EQ(result.status, 2) << when;
    EXPECT_THAT(result.err, HasSubstr("year 1970 to 2261")) << when;
  }
  for (const char* when : {"1970-01-02 00:00:00", "2261-12-31 23:59:59"}) {
    EXPECT_EQ(Run({"--now", when, "--records", Write("empty.txt", "")}).status, 0) << when;
  }
}

TEST_F(ReplayCheckTest, HelpExplainsEveryOptionAndTheReport) {
  const RunResult result = Run({"--help"});
  ASSERT_EQ(result.status, 0);
  for (const char* needle : {"usage: kestrel-replay",
                             "--profile",
                             "--now",
                             "--print-to",
                             "--reverse",
                             "--exact",
                             "--robust",
                             "--rm100",
                             "--records",
                             "--help",
                             "[Messages]",
                             "[Terminals]",
                             "[MDT]",
                             "[Mail]",
                             "TYPE",
                             "TO",
                             "DETAILS",
                             "NUMBER",
                             "\"message\"",
                             "\"dispatch\"",
                             "disabled hours",
                             "LogPrinter",
                             "DecoderMode",
                             "ReversePolarity",
                             "COMPortReversePolarity",
                             "Exit status"}) {
    EXPECT_THAT(result.out, HasSubstr(needle));
  }
}

// The example profile does on the bundled sample what its comments promise.
TEST_F(ReplayCheckTest, ExampleProfileKeepsItsPromisesOnTheSample) {
  // Its log files have relative names: they go to the folder the replay runs in.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_);
  const RunResult result =
      Run({"--profile", EXAMPLE_PROFILE, "--now", "2026-12-08 14:32:00", SAMPLE_RECORDING});
  std::filesystem::current_path(previous);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");

  std::vector<std::string> fire, dispatch, query;
  for (const std::string& row : Section(result, "Messages")) {
    const std::string type = row.substr(0, row.find('\t'));
    (type == "Fire" ? fire : type == "Dispatch" ? dispatch : query).push_back(row);
  }
  ASSERT_EQ(fire.size(), 1u);
  EXPECT_THAT(fire[0], ::testing::StartsWith("Fire\t3090 (Engine 7)\tTYPE: FIRE ALARM COMMERCIAL"));
  ASSERT_EQ(dispatch.size(), 8u);
  EXPECT_THAT(dispatch[0], ::testing::StartsWith("Dispatch\tMedic 4\tTYPE: "));
  EXPECT_EQ(std::count_if(dispatch.begin(), dispatch.end(),
                          [](const std::string& row) {
                            return row.find("TRAFFIC COLLISION") != std::string::npos;
                          }),
            2);
  EXPECT_THAT(Rows(result), ::testing::IsSupersetOf({"Query\t1302", "Query\t4416", "Query\t5023"}));
  EXPECT_EQ(query.size(), 3u);
  EXPECT_THAT(Section(result, "Terminals"), ::testing::Contains("3090\tEngine 7"));

  const std::string fire_log = kestrel_test::ReadText(dir_ + "/fire-calls.log");
  EXPECT_TRUE(fire_log.starts_with("Terminal: 3090 (Engine 7)\r\n")) << fire_log;
  EXPECT_NE(fire_log.find("FIRE ALARM COMMERCIAL"), std::string::npos);
  const std::string dispatch_log = kestrel_test::ReadText(dir_ + "/dispatches.log");
  EXPECT_TRUE(dispatch_log.starts_with("Terminal: 2158 (Medic 4)\r\n")) << dispatch_log;
  size_t blocks = 0;
  for (size_t at = 0; (at = dispatch_log.find("Terminal: ", at)) != std::string::npos; ++at) {
    if (dispatch_log.compare(dispatch_log.find("\r\n", at) - 17, 17, ", with additional") != 0)
      ++blocks;
  }
  EXPECT_EQ(blocks, 8u);
}

}  // namespace
