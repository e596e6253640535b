#include "app/traffic/terminal_aliases.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>

#include "support/scratch_directory.h"

namespace kestrel {
namespace {

// Builds "prefix" + number; GCC 12 warns falsely about string literal + std::string.
std::string Named(std::string prefix, int number) { return prefix += std::to_string(number); }

namespace fs = std::filesystem;
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs AllPairs(const TerminalAliases& aliases) {
  Pairs pairs;
  std::string terminal, alias;
  for (int i = 1; aliases.GetAliasEntry(i, terminal, alias); ++i)
    pairs.emplace_back(terminal, alias);
  EXPECT_EQ(int(pairs.size()), aliases.Count());
  return pairs;
}

TEST(TerminalAliases, AssignReplacesAndKeepsFirstAssignedOrder) {
  TerminalAliases aliases;
  aliases.Assign("0A1B", "Unit 7");
  aliases.Assign("0a1b", "lower case is another terminal");
  aliases.Assign("0C00", "Dispatch");
  aliases.Assign("0A1B", "Unit 9");
  EXPECT_EQ(aliases.Count(), 3);
  EXPECT_EQ(AllPairs(aliases), (Pairs{{"0A1B", "Unit 9"},
                                      {"0a1b", "lower case is another terminal"},
                                      {"0C00", "Dispatch"}}));
  EXPECT_EQ(aliases.Alias("0A1B"), "Unit 9");
  EXPECT_EQ(aliases.Alias("0A1"), "");
  EXPECT_FALSE(aliases.Changed());  // the windows decide when the store counts as changed

  std::string terminal = "t", alias = "a";
  EXPECT_FALSE(aliases.GetAliasEntry(0, terminal, alias));
  EXPECT_FALSE(aliases.GetAliasEntry(4, terminal, alias));
  EXPECT_EQ(terminal + alias, "ta");
}

TEST(TerminalAliases, RemoveAndClearKeepLookupsRight) {
  TerminalAliases aliases;
  for (int i = 0; i < 5; ++i) aliases.Assign(Named("T", i), Named("A", i));
  aliases.Remove("T1");
  aliases.Remove("T1");
  aliases.Remove("nobody");
  EXPECT_EQ(AllPairs(aliases), (Pairs{{"T0", "A0"}, {"T2", "A2"}, {"T3", "A3"}, {"T4", "A4"}}));
  aliases.Assign("T4", "four");  // must find the pair at its new position
  aliases.Assign("T1", "back");
  EXPECT_EQ(AllPairs(aliases),
            (Pairs{{"T0", "A0"}, {"T2", "A2"}, {"T3", "A3"}, {"T4", "four"}, {"T1", "back"}}));
  aliases.Clear();
  EXPECT_EQ(aliases.Count(), 0);
  EXPECT_EQ(aliases.Alias("T0"), "");
  aliases.Assign("T0", "again");
  EXPECT_EQ(AllPairs(aliases), (Pairs{{"T0", "again"}}));
}

class AliasFileTest : public ::testing::Test {
 protected:
  void WriteFile(std::string_view content) { std::ofstream(path_, std::ios::binary) << content; }
  std::string ReadFile() {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  kestrel_test::ScratchDirectory scratch_{"alias_file_test"};
  const fs::path directory_ = scratch_.path();
  const std::string path_ = scratch_.Path("aliases.ini");
};

TEST_F(AliasFileTest, ExportWritesTheLayoutAndReplacesTheWholeFile) {
  WriteFile("[TerminalAliases]\nAliases=3\nTerminal3=old\nAlias3=stale\n[Other]\nx=1\n");
  TerminalAliases aliases;
  aliases.Assign("0A1B", "Unit \"7\"");
  aliases.Assign("0C00", " padded ");
  std::vector<int> progress;
  ASSERT_TRUE(ExportAliases(aliases, path_, [&](int percent) { progress.push_back(percent); }));
  EXPECT_EQ(ReadFile(),
            "[TerminalAliases]\r\nAliases=2\r\nTerminal1=0A1B\r\nAlias1=Unit \"7\"\r\n"
            "Terminal2=0C00\r\nAlias2=\" padded \"\r\n");
  EXPECT_EQ(progress, (std::vector<int>{50, 100}));

  aliases.Assign("0D00", "two\nlines");  // cannot be a line of the file
  EXPECT_FALSE(ExportAliases(aliases, path_));
  EXPECT_FALSE(ExportAliases(aliases, (directory_ / "missing" / "a.ini").string()));
  EXPECT_EQ(ReadFile().substr(0, 27), "[TerminalAliases]\r\nAliases=");
}

TEST_F(AliasFileTest, ExportThenImportGivesTheSamePairsInOrder) {
  TerminalAliases original;
  for (int i = 0; i < 300; ++i) original.Assign(Named("T", 1000 - i), Named("Alias ", i));
  original.Assign("\xC3\xA9t\xC3\xA9", "'quoted'");
  original.Assign("EMPTYALIAS", "");
  ASSERT_TRUE(ExportAliases(original, path_));

  TerminalAliases imported;
  Pairs reported;
  ASSERT_EQ(ImportAliases(
                imported, path_,
                [&](const std::string& t, const std::string& a) { reported.emplace_back(t, a); }),
            AliasImport::kImported);
  EXPECT_EQ(AllPairs(imported), AllPairs(original));
  EXPECT_EQ(reported, AllPairs(original));
  EXPECT_TRUE(imported.Changed());
}

TEST_F(AliasFileTest, ImportOverwritesSameTerminalsAndKeepsOthers) {
  WriteFile(
      "[terminalaliases]\n"
      "ALIASES=4\n"
      "terminal2=0B\nalias2=bee\n"
      "Terminal1=0A\nAlias1=new a\n"
      "Terminal3=\nAlias3=no terminal\n"
      "Terminal5=0E\nAlias5=beyond the count\n"
      "Terminal01=0F\nAlias01=leading zero\n");
  TerminalAliases aliases;
  aliases.Assign("0Z", "kept");
  aliases.Assign("0A", "old a");
  std::vector<int> progress;
  ASSERT_EQ(ImportAliases(aliases, path_, {}, [&](int percent) { progress.push_back(percent); }),
            AliasImport::kImported);
  EXPECT_EQ(AllPairs(aliases), (Pairs{{"0Z", "kept"}, {"0A", "new a"}, {"0B", "bee"}}));
  EXPECT_EQ(progress.back(), 100);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(AliasFileTest, ZeroAliasesImportsNothingButMarksChanged) {
  WriteFile("[TerminalAliases]\r\nAliases=0\r\nTerminal1=0A\r\nAlias1=ignored\r\n");
  TerminalAliases aliases;
  EXPECT_EQ(ImportAliases(aliases, path_), AliasImport::kImported);
  EXPECT_EQ(aliases.Count(), 0);
  EXPECT_TRUE(aliases.Changed());
}

TEST_F(AliasFileTest, MissingAndInvalidFilesImportNothing) {
  TerminalAliases aliases;
  aliases.Assign("0A", "a");
  EXPECT_EQ(ImportAliases(aliases, path_), AliasImport::kNotFound);
  for (std::string_view content :
       {"", "[TerminalAliases]\nTerminal1=0B\n", "[TerminalAliases]\nAliases=abc\nTerminal1=0B\n",
        "[TerminalAliases]\nAliases=2x\nTerminal1=0B\n", "[TerminalAliases]\nAliases=-1\n",
        "[TerminalAliases]\nAliases=99999999999\nTerminal1=0B\n",
        "[Rules]\nAliases=1\nTerminal1=0B\n"}) {
    WriteFile(content);
    EXPECT_EQ(ImportAliases(aliases, path_), AliasImport::kInvalid) << content;
  }
  EXPECT_EQ(ImportAliases(aliases, directory_.string()), AliasImport::kInvalid);
  EXPECT_EQ(AllPairs(aliases), (Pairs{{"0A", "a"}}));
  EXPECT_FALSE(aliases.Changed());
}

TEST_F(AliasFileTest, HugeCountInASmallFileImportsQuickly) {
  WriteFile(
      "[TerminalAliases]\nAliases=2000000000\nTerminal1=0A\nAlias1=a\n"
      "Terminal1999999999=0B\nAlias1999999999=b\n");
  TerminalAliases aliases;
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(ImportAliases(aliases, path_), AliasImport::kImported);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(AllPairs(aliases), (Pairs{{"0A", "a"}, {"0B", "b"}}));
}

}  // namespace
}  // namespace kestrel
