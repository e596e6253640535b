#include "app/traffic/alias_commands.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/profile/ini_file.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs AllPairs(const TerminalAliases& aliases) {
  Pairs pairs;
  std::string terminal, alias;
  for (int i = 1; aliases.GetAliasEntry(i, terminal, alias); ++i)
    pairs.emplace_back(terminal, alias);
  return pairs;
}

Pairs AllRows(const AliasRows& rows) {
  Pairs pairs;
  for (int i = 0; i < rows.Count(); ++i) pairs.emplace_back(rows.At(i).terminal, rows.At(i).alias);
  return pairs;
}

// The progress window's calls, in order.
class RecordingStatus : public SaveStatus {
 public:
  void Show(std::string_view caption, std::string_view label, int percent) override {
    calls.push_back("show " + std::string(caption) + " | " + std::string(label) + " | " +
                    std::to_string(percent));
  }
  void SetProgress(int percent) override { calls.push_back(std::to_string(percent)); }
  void Close() override { calls.push_back("close"); }
  std::vector<std::string> calls;
};

// ---- The Configure list's rows ----

TEST(AliasRows, LoadSetAndRemoveKeepTheStoresOrder) {
  TerminalAliases aliases;
  aliases.Assign("0C00", "Dispatch");
  aliases.Assign("0A1B", "unit 7");
  AliasRows rows;
  rows.Load(aliases);
  EXPECT_EQ(AllRows(rows), (Pairs{{"0C00", "Dispatch"}, {"0A1B", "unit 7"}}));
  EXPECT_FALSE(rows.SortColumn().has_value());

  EXPECT_FALSE(rows.Set("0A1B", "Unit 9"));  // replaced in place
  EXPECT_TRUE(rows.Set("0a1b", "other"));    // case makes another terminal
  EXPECT_EQ(AllRows(rows), (Pairs{{"0C00", "Dispatch"}, {"0A1B", "Unit 9"}, {"0a1b", "other"}}));
  EXPECT_EQ(rows.Find("0a1b"), 2);
  EXPECT_EQ(rows.Find("0A1"), -1);

  rows.RemoveAt(-1);
  rows.RemoveAt(3);  // one past the last row
  EXPECT_EQ(rows.Count(), 3);
  rows.RemoveAt(0);
  EXPECT_EQ(AllRows(rows), (Pairs{{"0A1B", "Unit 9"}, {"0a1b", "other"}}));
}

TEST(AliasRows, HeaderClicksSortAndASecondClickReverses) {
  TerminalAliases aliases;
  aliases.Assign("20", "bravo");
  aliases.Assign("10", "Charlie");
  aliases.Assign("30", "alpha");
  aliases.Assign("05", "Bravo");
  AliasRows rows;
  rows.Load(aliases);

  rows.SortByClick(AliasRows::kAlias);
  EXPECT_EQ(rows.SortColumn(), AliasRows::kAlias);
  EXPECT_TRUE(rows.Ascending());
  // Without case, and stable: "bravo" stays before "Bravo".
  EXPECT_EQ(AllRows(rows),
            (Pairs{{"30", "alpha"}, {"20", "bravo"}, {"05", "Bravo"}, {"10", "Charlie"}}));
  rows.SortByClick(AliasRows::kAlias);
  EXPECT_FALSE(rows.Ascending());
  EXPECT_EQ(AllRows(rows),
            (Pairs{{"10", "Charlie"}, {"20", "bravo"}, {"05", "Bravo"}, {"30", "alpha"}}));
  rows.SortByClick(AliasRows::kTerminal);  // another column starts ascending
  EXPECT_TRUE(rows.Ascending());
  EXPECT_EQ(AllRows(rows)[0].first, "05");
  EXPECT_EQ(AllRows(rows)[3].first, "30");

  rows.Set("00", "zulu");
  EXPECT_EQ(rows.At(4).terminal, "00");  // an added row waits for the next sort
  rows.Resort();
  EXPECT_EQ(rows.At(0).terminal, "00");

  rows.Load(aliases);  // a fresh window is unsorted
  EXPECT_FALSE(rows.SortColumn().has_value());
  rows.Resort();
  EXPECT_EQ(rows.At(0).terminal, "20");
}

// ---- Assign and delete ----

class AliasCommandsTest : public ::testing::Test {
 protected:
  AliasListeners Listeners() {
    return {[this](const std::string& t, const std::string& a) { main_window_.emplace_back(t, a); },
            [this](const std::string& t, const std::string& a) { list_.emplace_back(t, a); }};
  }
  FileQuestion Answer(std::string path) {
    return [this, path](const std::string& title, const std::string& proposed,
                        const std::string& filter, const std::string& suffix) {
      asked_.push_back(title + " | " + proposed + " | " + filter + " | " + suffix);
      return path;
    };
  }
  void WriteFile(const std::string& path, std::string_view content) {
    std::ofstream(path, std::ios::binary) << content;
  }

  TerminalAliases aliases_;
  RecordingMessageBoxes boxes_;
  AliasCommands commands_{aliases_, boxes_};
  Pairs main_window_;
  Pairs list_;
  std::vector<std::string> asked_;
  RecordingStatus status_;
  kestrel_test::ScratchDirectory scratch_{"alias_commands_test"};
};

TEST_F(AliasCommandsTest, AssignSetsChangedAndTellsBothWindows) {
  EXPECT_TRUE(commands_.Assign("0A1B", "Unit 7", Listeners()));
  EXPECT_TRUE(aliases_.Changed());
  EXPECT_TRUE(commands_.Assign("0A1B", "Unit 9", Listeners()));
  EXPECT_EQ(AllPairs(aliases_), (Pairs{{"0A1B", "Unit 9"}}));
  EXPECT_EQ(main_window_, (Pairs{{"0A1B", "Unit 7"}, {"0A1B", "Unit 9"}}));
  EXPECT_EQ(list_, main_window_);
  // An empty alias is an alias like any other.
  EXPECT_TRUE(commands_.Assign("0C00", "", Listeners()));
  EXPECT_EQ(aliases_.Count(), 2);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(AliasCommandsTest, AssignWithoutTerminalChangesNothing) {
  EXPECT_FALSE(commands_.Assign("", "Unit 7", Listeners()));
  EXPECT_EQ(aliases_.Count(), 0);
  EXPECT_FALSE(aliases_.Changed());
  EXPECT_TRUE(main_window_.empty());
  EXPECT_TRUE(list_.empty());
  // No listeners at all is fine too.
  EXPECT_TRUE(commands_.Assign(" ", "space is a terminal", {}));
  EXPECT_EQ(aliases_.Alias(" "), "space is a terminal");
}

TEST_F(AliasCommandsTest, DeleteEmptiesTheMainWindowsAliasAndSetsChanged) {
  aliases_.Assign("0A1B", "Unit 7");
  aliases_.Assign("0C00", "Dispatch");
  commands_.Delete("0A1B", Listeners());
  EXPECT_EQ(AllPairs(aliases_), (Pairs{{"0C00", "Dispatch"}}));
  EXPECT_TRUE(aliases_.Changed());
  EXPECT_EQ(main_window_, (Pairs{{"0A1B", ""}}));
  EXPECT_TRUE(list_.empty());  // the window removed its own row
}

// ---- Export ----

TEST_F(AliasCommandsTest, ExportWritesThePairsWithProgress) {
  aliases_.Assign("0A1B", "Unit 7");
  aliases_.Assign("0C00", "Dispatch");
  aliases_.Assign("0D00", "Car 3");
  aliases_.Assign("0E00", "Car 4");
  const std::string path = scratch_.Path("out.ini");
  EXPECT_EQ(commands_.Export(Answer(path), &status_), AliasCommands::Outcome::kDone);
  EXPECT_EQ(asked_, (std::vector<std::string>{"Export Aliases To |  | *.ini | ini"}));
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(status_.calls,
            (std::vector<std::string>{"show Exporting Aliases | Exporting terminal aliases... | 0",
                                      "25", "50", "75", "100", "close"}));
  EXPECT_FALSE(aliases_.Changed());  // an export changes nothing the profile holds

  TerminalAliases read;
  EXPECT_EQ(ImportAliases(read, path), AliasImport::kImported);
  EXPECT_EQ(AllPairs(read), AllPairs(aliases_));
}

TEST_F(AliasCommandsTest, ExportCancelledAsksNothingElse) {
  aliases_.Assign("0A1B", "Unit 7");
  EXPECT_EQ(commands_.Export(Answer(""), &status_), AliasCommands::Outcome::kCancelled);
  EXPECT_EQ(commands_.Export({}, &status_), AliasCommands::Outcome::kCancelled);
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_TRUE(status_.calls.empty());
}

TEST_F(AliasCommandsTest, ExportOverAFileAsksFirst) {
  aliases_.Assign("0A1B", "Unit 7");
  const std::string path = scratch_.Path("old.ini");
  WriteFile(path, "[Other]\r\nKeep=1\r\n");

  boxes_.answer = MessageBoxes::Answer::kNo;
  EXPECT_EQ(commands_.Export(Answer(path), &status_), AliasCommands::Outcome::kCancelled);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "File already exists, overwrite?");
  EXPECT_EQ(boxes_.shown[0].title, "Overwrite file?");
  EXPECT_EQ(boxes_.shown[0].buttons, MessageBoxes::Buttons::kYesNo);
  EXPECT_EQ(ReadIniString("Other", "Keep", path), "1");
  EXPECT_TRUE(status_.calls.empty());

  boxes_.answer = MessageBoxes::Answer::kYes;
  EXPECT_EQ(commands_.Export(Answer(path), &status_), AliasCommands::Outcome::kDone);
  EXPECT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(ReadIniString("Other", "Keep", path), "");  // replaced as a whole
  EXPECT_EQ(ReadIniString("TerminalAliases", "Terminal1", path), "0A1B");
}

TEST_F(AliasCommandsTest, ExportOverAFileThatCannotBeDeleted) {
  if (::geteuid() == 0) GTEST_SKIP() << "root deletes anything";
  aliases_.Assign("0A1B", "Unit 7");
  const std::string directory = scratch_.Path("locked");
  ASSERT_EQ(::mkdir(directory.c_str(), 0700), 0);
  const std::string path = directory + "/aliases.ini";
  WriteFile(path, "[TerminalAliases]\r\nAliases=0\r\n");
  ASSERT_EQ(::chmod(directory.c_str(), 0500), 0);

  EXPECT_EQ(commands_.Export(Answer(path), &status_), AliasCommands::Outcome::kFailed);
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].text, "Unable to overwrite file, can't export aliases.");
  EXPECT_EQ(boxes_.shown[1].buttons, MessageBoxes::Buttons::kOk);
  EXPECT_TRUE(status_.calls.empty());
  EXPECT_EQ(ReadIniString("TerminalAliases", "Aliases", path), "0");
}

TEST_F(AliasCommandsTest, ExportThatCannotWriteSaysSo) {
  aliases_.Assign("0A1B", "Unit 7");
  const std::string path = scratch_.Path("missing/aliases.ini");
  EXPECT_EQ(commands_.Export(Answer(path), &status_), AliasCommands::Outcome::kFailed);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Unable to export aliases to " + path);
  EXPECT_EQ(status_.calls.back(), "close");
}

// ---- Import ----

TEST_F(AliasCommandsTest, ImportAssignsOverwritesAndTellsBothWindows) {
  aliases_.Assign("0A1B", "old");
  aliases_.Assign("0F00", "stays");
  const std::string path = scratch_.Path("in.ini");
  WriteFile(path,
            "[TerminalAliases]\r\nAliases=4\r\nTerminal1=0C00\r\nAlias1=Dispatch\r\n"
            "Terminal2=\r\nAlias2=no terminal\r\nTerminal3=0A1B\r\nAlias3=Unit 7\r\n"
            "Terminal4=0D00\r\nAlias4=\r\nTerminal5=0E00\r\nAlias5=beyond the count\r\n");
  EXPECT_EQ(commands_.Import(Answer(path), &status_, Listeners()), AliasCommands::Outcome::kDone);
  EXPECT_EQ(asked_, (std::vector<std::string>{"Import Aliases From |  | *.ini | ini"}));
  EXPECT_EQ(AllPairs(aliases_),
            (Pairs{{"0A1B", "Unit 7"}, {"0F00", "stays"}, {"0C00", "Dispatch"}, {"0D00", ""}}));
  const Pairs told{{"0C00", "Dispatch"}, {"0A1B", "Unit 7"}, {"0D00", ""}};
  EXPECT_EQ(main_window_, told);
  EXPECT_EQ(list_, told);
  EXPECT_TRUE(aliases_.Changed());
  EXPECT_TRUE(boxes_.shown.empty());
  ASSERT_FALSE(status_.calls.empty());
  EXPECT_EQ(status_.calls.front(), "show Importing Aliases | Importing terminal aliases... | 0");
  EXPECT_EQ(status_.calls.back(), "close");
}

TEST_F(AliasCommandsTest, ImportOfZeroPairsStillSetsChanged) {
  const std::string path = scratch_.Path("zero.ini");
  WriteFile(path, "[TerminalAliases]\r\nAliases=0\r\nTerminal1=0A1B\r\nAlias1=ignored\r\n");
  EXPECT_EQ(commands_.Import(Answer(path), &status_, Listeners()), AliasCommands::Outcome::kDone);
  EXPECT_EQ(aliases_.Count(), 0);
  EXPECT_TRUE(aliases_.Changed());
  EXPECT_TRUE(main_window_.empty());
}

TEST_F(AliasCommandsTest, ImportOfAMissingFile) {
  const std::string path = scratch_.Path("nothing.ini");
  EXPECT_EQ(commands_.Import(Answer(path), &status_, Listeners()), AliasCommands::Outcome::kFailed);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "File not found");
  EXPECT_TRUE(status_.calls.empty());
  EXPECT_FALSE(aliases_.Changed());

  boxes_.shown.clear();
  EXPECT_EQ(commands_.Import(Answer(""), &status_, Listeners()),
            AliasCommands::Outcome::kCancelled);
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(AliasCommandsTest, ImportOfAFileWithoutAUsableCountImportsNothing) {
  for (const char* content : {"[TerminalAliases]\r\nTerminal1=0A1B\r\nAlias1=x\r\n",
                              "[TerminalAliases]\r\nAliases=two\r\nTerminal1=0A1B\r\nAlias1=x\r\n",
                              "[Rules]\r\nRules=1\r\n"}) {
    SCOPED_TRACE(content);
    const std::string path = scratch_.Path("bad.ini");
    WriteFile(path, content);
    boxes_.shown.clear();
    EXPECT_EQ(commands_.Import(Answer(path), &status_, Listeners()),
              AliasCommands::Outcome::kFailed);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "Not an alias file, nothing imported: " + path);
    EXPECT_EQ(aliases_.Count(), 0);
    EXPECT_FALSE(aliases_.Changed());
    EXPECT_EQ(status_.calls.back(), "close");
  }
}

TEST_F(AliasCommandsTest, ExportThenImportIntoAnEmptyStoreGivesTheSamePairs) {
  aliases_.Assign("0A1B", "Unit 7");
  aliases_.Assign("0C00", "\"quoted\"");
  aliases_.Assign("0D00", " spaced ");
  aliases_.Assign("0E00", "");
  aliases_.Assign("0F00", "Zürich");
  const std::string path = scratch_.Path("round.ini");
  ASSERT_EQ(commands_.Export(Answer(path), nullptr), AliasCommands::Outcome::kDone);

  TerminalAliases fresh;
  AliasCommands other(fresh, boxes_);
  ASSERT_EQ(other.Import(Answer(path), nullptr, {}), AliasCommands::Outcome::kDone);
  EXPECT_EQ(AllPairs(fresh), AllPairs(aliases_));
}

}  // namespace
}  // namespace kestrel
