#include "app/profile/ini_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/scratch_directory.h"
#include "support/unprivileged.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;

class IniFileTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return (directory_ / name).string(); }

  static void WriteFile(const std::string& path, std::string_view content) {
    std::ofstream(path, std::ios::binary) << content;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::vector<std::string> DirectoryEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  kestrel_test::ScratchDirectory scratch_{"ini_file_test"};
  const fs::path directory_ = scratch_.path();
};

IniFile Parsed(std::string_view content) {
  IniFile ini;
  EXPECT_TRUE(ini.Parse(content));
  return ini;
}

TEST(IniFormat, LinesAreTrimmedAndSplitAtTheFirstEqualsOrLastBracket) {
  IniFile ini = Parsed(
      "  [ Settings ]  \n"
      "\t Key  =  a = b  \n"
      "Empty=\nNoValue\n=orphan\n"
      "[a]b] trailing\nk=1\n[open\nk=2\n");
  EXPECT_EQ(ini.Read(" Settings ", " Key "), "a = b");
  EXPECT_EQ(ini.Find("Settings", "Empty"), std::optional<std::string>(""));
  EXPECT_EQ(ini.Find("Settings", "NoValue"), std::nullopt);
  EXPECT_EQ(ini.Find("Settings", ""), std::nullopt);
  EXPECT_EQ(ini.Read("a]b", "k"), "1");  // "[open" is no header, so the first k stays
  EXPECT_EQ(ini.Find("open", "k"), std::nullopt);
}

TEST(IniFormat, NamesMatchWithoutAsciiCaseAndTheFirstMatchWins) {
  IniFile ini = Parsed(
      "orphan=before any section\n"
      "[Settings]\nKey=first\nKEY=second\n"
      "[SETTINGS]\nOther=hidden\n"
      "[\xC3\x84]\nk=upper umlaut\n");
  EXPECT_EQ(ini.Read("settings", "key"), "first");
  EXPECT_EQ(ini.Find("Settings", "Other"), std::nullopt);
  EXPECT_EQ(ini.Find("", "orphan"), std::nullopt);
  EXPECT_EQ(ini.Read("\xC3\x84", "K"), "upper umlaut");
  EXPECT_EQ(ini.Find("\xC3\xA4", "k"), std::nullopt);  // only ASCII folds
  EXPECT_EQ(ini.Keys("SETTINGS"), (std::vector<std::string>{"Key"}));
}

TEST(IniFormat, ReadStripsOnePairOfMatchingQuotesAndCutsLongValues) {
  std::string long_value(1500, 'x');
  long_value[1022] = 'y';
  IniFile ini = Parsed(
      "[s]\n"
      "double=\"a b\"\nsingle='a'\nnested=\"\"x\"\"\nmixed=\"a'\nlone=\"\nspaced=\"  \"\n"
      "long=" +
      long_value + "\nquotedlong=\"" + long_value + "\"\n");
  EXPECT_EQ(ini.Read("s", "double"), "a b");
  EXPECT_EQ(ini.Read("s", "single"), "a");
  EXPECT_EQ(ini.Read("s", "nested"), "\"x\"");
  EXPECT_EQ(ini.Read("s", "mixed"), "\"a'");
  EXPECT_EQ(ini.Read("s", "lone"), "\"");
  EXPECT_EQ(ini.Read("s", "spaced"), "  ");
  EXPECT_EQ(ini.Read("s", "long"), long_value.substr(0, kIniMaxValueLength));
  EXPECT_EQ(ini.Read("s", "quotedlong"), long_value.substr(0, kIniMaxValueLength));
}

TEST(IniFormat, AcceptsEveryLineEndAndKeepsTheByteOrderMark) {
  for (std::string_view content : {"[s]\na=1\nb=2", "[s]\r\na=1\r\nb=2\r\n", "[s]\ra=1\rb=2\r",
                                   "\xEF\xBB\xBF[s]\na=1\nb=2\n"}) {
    IniFile ini = Parsed(content);
    EXPECT_EQ(ini.Read("s", "a"), "1") << content;
    EXPECT_EQ(ini.Read("s", "b"), "2") << content;
  }
  EXPECT_EQ(Parsed("\xEF\xBB\xBF[s]\na=1").Serialize(), "\xEF\xBB\xBF[s]\r\na=1\r\n");
}

TEST(IniFormat, WritesKeepLinesCommentsAndLayout) {
  IniFile ini = Parsed(
      "; profile\n"
      "[First]\n"
      "  Count = 1 \n"
      "# not a key\n"
      "\n"
      "[Second]\n"
      "x=1");
  ASSERT_TRUE(ini.Write("first", "COUNT", "2"));
  ASSERT_TRUE(ini.Write("First", "Added", "new"));
  ASSERT_TRUE(ini.Write("Second", "y", "2"));
  ASSERT_TRUE(ini.Write("Third", "z", "3"));
  EXPECT_EQ(ini.Serialize(),
            "; profile\r\n"
            "[First]\r\n"
            "Count=2\r\n"
            "# not a key\r\n"
            "Added=new\r\n"
            "\r\n"
            "[Second]\r\n"
            "x=1\r\n"
            "y=2\r\n"
            "\r\n"
            "[Third]\r\n"
            "z=3\r\n");
  IniFile empty;
  ASSERT_TRUE(empty.Write("S", "k", "v"));
  EXPECT_EQ(empty.Serialize(), "[S]\r\nk=v\r\n");
}

TEST(IniFormat, AwkwardValuesReadBackAsWritten) {
  const std::string high_bytes = "caf\xC3\xA9 \x80\xFF\x01";
  for (const std::string& value :
       {std::string(""), std::string("\"quoted\""), std::string("'single'"), std::string("\""),
        std::string("\"\""), std::string("a=b=c"), std::string("  lead and trail  "),
        std::string("\ttab"), std::string(" \"both\" "), std::string("[not a section]"),
        std::string("; not a comment"), high_bytes, std::string(kIniMaxValueLength, 'v'),
        std::string("nul\0inside", 10)}) {
    IniFile ini;
    ASSERT_TRUE(ini.Write("Section", "Key", value)) << value;
    EXPECT_EQ(ini.Read("Section", "Key"), value);
    EXPECT_EQ(Parsed(ini.Serialize()).Read("section", "key"), value) << value;
  }
  IniFile ini;
  ASSERT_TRUE(ini.Write("S", "k", std::string(2000, 'w')));
  EXPECT_EQ(Parsed(ini.Serialize()).Read("S", "k"), std::string(kIniMaxValueLength, 'w'));
}

TEST(IniFormat, RefusesWritesThatWouldNotReadBack) {
  IniFile ini = Parsed("[s]\nk=v\n");
  const std::string before = ini.Serialize();
  EXPECT_FALSE(ini.Write("s", "k", "two\r\n[Settings]\r\nVersion=9"));
  EXPECT_FALSE(ini.Write("s", "k", "cr\ronly"));
  EXPECT_FALSE(ini.Write("s", "a=b", "v"));
  EXPECT_FALSE(ini.Write("s", "[x]", "v"));
  EXPECT_FALSE(ini.Write("s", "  ", "v"));
  EXPECT_FALSE(ini.Write("", "k", "v"));
  EXPECT_FALSE(ini.Write("new\nsection", "k", "v"));
  EXPECT_EQ(ini.Serialize(), before);
}

TEST_F(IniFileTest, ConvenienceCallsCreateFilesAndReportMissingValues) {
  const std::string path = PathOf("profile.ini");
  EXPECT_EQ(ReadIniString("Settings", "Version", path), "");
  ASSERT_TRUE(WriteIniString("Settings", "Version", "1.6.1", path));
  ASSERT_TRUE(WriteIniString("Settings", "MDTColumns", "80", path));
  ASSERT_TRUE(WriteIniString("Rules", "Rules", "0", path));
  EXPECT_EQ(ReadFile(path),
            "[Settings]\r\nVersion=1.6.1\r\nMDTColumns=80\r\n\r\n[Rules]\r\nRules=0\r\n");
  EXPECT_EQ(ReadIniString("settings", "mdtcolumns", path), "80");
  EXPECT_EQ(ReadIniString("Settings", "Missing", path), "");
  EXPECT_EQ(ReadIniString("Missing", "Version", path), "");

  // A save keeps the permissions and replaces the file behind a link, not the link.
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const std::string link = PathOf("link.ini");
  fs::create_symlink(path, link);
  ASSERT_TRUE(WriteIniString("rules", "RULES", "1", link));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadIniString("Rules", "Rules", path), "1");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"link.ini", "profile.ini"}));
}

TEST_F(IniFileTest, LoadRefusesWhatItCannotSafelyRead) {
  IniFile ini;
  EXPECT_EQ(ini.Load(PathOf("missing.ini")), IniLoad::kNotFound);
  EXPECT_EQ(ini.Load(PathOf("missing/dir.ini")), IniLoad::kNotFound);
  EXPECT_EQ(ini.Load(directory_.string()), IniLoad::kUnreadable);

  const std::string fifo = PathOf("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ini.Load(fifo), IniLoad::kUnreadable);  // and does not wait for a writer

  const std::string huge = PathOf("huge.ini");
  WriteFile(huge, "[s]\nk=v\n");
  fs::resize_file(huge, kIniMaxFileSize + 1);
  EXPECT_EQ(ini.Load(huge), IniLoad::kTooLarge);
  EXPECT_EQ(ReadIniString("s", "k", huge), "");
  // Writing one key must not shrink a file it could not read to that key.
  EXPECT_FALSE(WriteIniString("s", "k", "x", huge));
  EXPECT_EQ(fs::file_size(huge), kIniMaxFileSize + 1);
  fs::resize_file(huge, kIniMaxFileSize);
  EXPECT_EQ(ini.Load(huge), IniLoad::kLoaded);
  EXPECT_EQ(ini.Read("s", "k"), "v");

  EXPECT_FALSE(ini.Parse(std::string(kIniMaxLines + 1, '\n')));
  ASSERT_TRUE(ini.Parse(std::string(kIniMaxLines - 1, '\n') + "[s]"));
  // One more line would make a file that no load accepts.
  ASSERT_TRUE(ini.Write("s", "k", "v"));
  EXPECT_FALSE(ini.Save(PathOf("long.ini")));
  EXPECT_FALSE(fs::exists(PathOf("long.ini")));
}

TEST_F(IniFileTest, FailedSaveLeavesTheOldFileAndNoTemporary) {
  const std::string path = PathOf("profile.ini");
  const std::string old_content = "[Settings]\r\nVersion=1.6.1\r\n";
  WriteFile(path, old_content);

  EXPECT_FALSE(WriteIniString("s", "k", "v", PathOf("missing/profile.ini")));
  EXPECT_FALSE(WriteIniString("s", "k", "v", PathOf("profile.ini/inner.ini")));

  // A full disk: the write of the temporary fails part-way.
  struct sigaction ignore = {}, previous = {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previous), 0);
  rlimit limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
  rlimit small = limit;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = WriteIniString("Settings", "Long", std::string(500, 'z'), path);
  ::setrlimit(RLIMIT_FSIZE, &limit);
  ::sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadFile(path), old_content);

  // The rename fails after the temporary was written in full.
  fs::create_directory(PathOf("taken.ini"));
  EXPECT_FALSE(ReplaceFileAtomically(PathOf("taken.ini"), "[s]\r\n"));
  EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"profile.ini", "taken.ini"}));
  EXPECT_TRUE(fs::is_empty(PathOf("taken.ini")));

  EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"profile.ini", "taken.ini"}));
}

// What a save of `content` to `path` did: "" when it succeeded, else errno's name.
std::string SaveOutcome(const std::string& path, std::string_view content) {
  errno = 0;
  if (ReplaceFileAtomically(path, content)) return "";
  return errno == EACCES ? "EACCES" : errno == ELOOP ? "ELOOP" : std::to_string(errno);
}

TEST_F(IniFileTest, ModesAreHonouredAsWritingWouldHonourThem) {
  // The checks run as a user the modes stop, in folders that user may enter.
  fs::permissions(directory_, fs::perms::all);
  const std::string read_only = PathOf("read-only.ini");
  WriteFile(read_only, "[Settings]\r\nVersion=1.6.1\r\n");
  const std::string folder = PathOf("locked");
  fs::create_directory(folder);
  const std::string in_locked = folder + "/profile.ini";
  WriteFile(in_locked, "[Settings]\r\nVersion=1.0.0\r\nMDTColumns=80\r\n");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(read_only.c_str(), kestrel_test::kUnprivilegedId, 0), 0);
    ASSERT_EQ(::chown(in_locked.c_str(), kestrel_test::kUnprivilegedId, 0), 0);
  }
  ::chmod(read_only.c_str(), 0444);
  ::chmod(in_locked.c_str(), 0644);
  ::chmod(folder.c_str(), 0555);

  const std::optional<std::string> failure = kestrel_test::RunUnprivileged([&]() -> std::string {
    // A read-only profile is refused, not renamed over, and stays as it was.
    if (std::string got = SaveOutcome(read_only, "[Settings]\r\n"); got != "EACCES")
      return "read-only file: " + got;
    if (ReadFile(read_only) != "[Settings]\r\nVersion=1.6.1\r\n") return "read-only file changed";
    // A writable file in a read-only folder is written in place, shorter than before.
    const std::string shorter = "[Settings]\r\nVersion=1.6.1\r\n";
    if (std::string got = SaveOutcome(in_locked, shorter); !got.empty())
      return "read-only folder: " + got;
    if (ReadFile(in_locked) != shorter) return "read-only folder: " + ReadFile(in_locked);
    // A file that does not exist yet cannot be made there.
    if (SaveOutcome(folder + "/new.ini", "x").empty()) return "created in a read-only folder";
    return "";
  });
  if (!failure) GTEST_SKIP() << "no unprivileged user to run the checks as";
  EXPECT_EQ(*failure, "");
  EXPECT_EQ(fs::status(read_only).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_FALSE(fs::exists(folder + "/new.ini"));
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(fs::directory_iterator(folder)->path().filename(), "profile.ini");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(IniFileTest, NamesUpToTheFileSystemLimitSave) {
  // The limit for one name is 255 bytes; the temporary name must not eat into it.
  const std::string longest = PathOf(std::string(251, 'p') + ".ini");
  EXPECT_EQ(SaveOutcome(longest, "[s]\r\n"), "");
  EXPECT_EQ(ReadFile(longest), "[s]\r\n");
  EXPECT_EQ(SaveOutcome(longest, "[t]\r\n"), "");
  EXPECT_EQ(ReadFile(longest), "[t]\r\n");
  EXPECT_EQ(SaveOutcome(PathOf(std::string(252, 'p') + ".ini"), "[s]\r\n"),
            std::to_string(ENAMETOOLONG));
  EXPECT_EQ(DirectoryEntries().size(), 1u);
}

TEST_F(IniFileTest, SavingThroughLinksReachesTheirEnd) {
  // A dangling link: the save creates the file it names, relative to the link's folder.
  fs::create_directory(PathOf("real"));
  fs::create_symlink("real/profile.ini", PathOf("dangling.ini"));
  fs::create_symlink("dangling.ini", PathOf("chain.ini"));
  EXPECT_EQ(SaveOutcome(PathOf("chain.ini"), "[s]\r\nk=1\r\n"), "");
  EXPECT_EQ(ReadFile(PathOf("real/profile.ini")), "[s]\r\nk=1\r\n");
  EXPECT_TRUE(fs::is_symlink(PathOf("dangling.ini")));
  EXPECT_TRUE(WriteIniString("s", "k", "2", PathOf("dangling.ini")));
  EXPECT_EQ(ReadIniString("s", "k", PathOf("real/profile.ini")), "2");

  // A loop or a link into a missing folder fails, leaving nothing behind.
  fs::create_symlink("loop-b.ini", PathOf("loop-a.ini"));
  fs::create_symlink("loop-a.ini", PathOf("loop-b.ini"));
  EXPECT_EQ(SaveOutcome(PathOf("loop-a.ini"), "x"), "ELOOP");
  fs::create_symlink("missing/profile.ini", PathOf("nowhere.ini"));
  EXPECT_EQ(SaveOutcome(PathOf("nowhere.ini"), "x"), std::to_string(ENOENT));
  EXPECT_EQ(DirectoryEntries(), (std::vector<std::string>{"chain.ini", "dangling.ini", "loop-a.ini",
                                                          "loop-b.ini", "nowhere.ini", "real"}));
}

}  // namespace
}  // namespace kestrel
