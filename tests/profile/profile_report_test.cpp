// What loads and saves tell the user when a profile is not what it should be.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/platform/program_log.h"
#include "app/profile/profile.h"
#include "support/program_stores.h"
#include "support/scratch_directory.h"
#include "support/unprivileged.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class ProfileReportTest : public ::testing::Test {
 protected:
  // Loads `path` into fresh stores; the report's failure ("" on success) and warnings.
  ProfileLoadReport Load(const std::string& path) {
    ProfileLoadReport report;
    loaded_ = LoadProfile(path, stores_.get(), nullptr, &report);
    EXPECT_EQ(loaded_, report.failure.empty()) << report.failure;
    return report;
  }
  std::string Settings(const std::string& lines) {
    return scratch_.Write("p.ini", "[Settings]\r\nVersion=1.6.1\r\n" + lines);
  }

  kestrel_test::ScratchDirectory scratch_{"profile_report_test"};
  kestrel_test::ProgramStores stores_;
  bool loaded_ = false;
};

TEST_F(ProfileReportTest, AFailedLoadSaysWhy) {
  const std::pair<std::string, std::string> cases[] = {
      {scratch_.Path("missing.ini"), "no such file"},
      {scratch_.Path("missing/p.ini"), "no such file"},
      {scratch_.path().string(), "is a directory"},
      {scratch_.Write("junk.ini", std::string("\x7F"
                                              "ELF\x02\x01\x01\0\0\0[x]\n",
                                              14)),
       "not a text file"},
      {scratch_.Write("prose.ini", "Dear user,\nthis is not a profile.\n"),
       "no sections: not a profile"},
      {scratch_.Write("other.ini", "[Rules]\r\nRules=0\r\n"), "no [Settings] section"},
      {scratch_.Write("old.ini", "[Settings]\r\nMDTColumns=80\r\n"), "no Version in [Settings]"},
  };
  for (const auto& [path, reason] : cases) {
    const ProfileLoadReport report = Load(path);
    EXPECT_FALSE(loaded_) << path;
    EXPECT_EQ(report.failure, reason) << path;
    EXPECT_EQ(ProfileLoadFailureText(path, report),
              "Unable to load profile " + path + ": " + reason);
  }
  // An empty file still loads, as it always has, and a tab or form feed is text.
  EXPECT_EQ(Load(scratch_.Write("empty.ini", "")).failure, "");
  EXPECT_EQ(Load(Settings("\tMDTFontName=Courier\f\r\n")).failure, "");
}

TEST_F(ProfileReportTest, EachIgnoredValueIsNamedWithWhatIsUsedInstead) {
  const std::string path = Settings(
      "MDTColumns=-5\r\nTerminalAddressStart=999999999\r\nMainWidth=abc\r\n"
      "ReversePolarity=maybe\r\nDecoderMode=2\r\nMDTFontSize=0\r\nToolBar=\r\n"
      "MaxMessagesToSave=\x1B[31m\r\n");
  const ProfileLoadReport report = Load(path);
  ASSERT_TRUE(loaded_);
  const std::string file = path + ": ";
  EXPECT_THAT(
      report.warnings,
      ElementsAre(file + "ReversePolarity=maybe ignored: not True, False or a number; using False",
                  file + "MDTColumns=-5 ignored: not a whole number from 1 to 32767; using 40",
                  file + "TerminalAddressStart=999999999 ignored: not a whole number from 1 to "
                         "8192; using 3",
                  file + "MainWidth=abc ignored: not a number greater than 0; using 12000",
                  file + "MaxMessagesToSave=0x1B[31m ignored: not a whole number greater than 0; "
                         "using 50",
                  file + "MDTFontSize=0 ignored: not a number greater than 0; using 9",
                  file + "DecoderMode=2 ignored: not a whole number from 0 to 1; using 1"));
  EXPECT_EQ(stores_.settings.MDTColumns, 40);
  EXPECT_EQ(stores_.settings.TerminalAddressStart, 3);
}

TEST_F(ProfileReportTest, AddressBytesAtTheLimitAndInOrderAreTaken) {
  EXPECT_THAT(Load(Settings("TerminalAddressStart=8192\r\nTerminalAddressEnd=8192\r\n")).warnings,
              IsEmpty());
  EXPECT_EQ(stores_.settings.TerminalAddressStart, 8192);
  EXPECT_EQ(stores_.settings.TerminalAddressEnd, 8192);

  stores_.settings = {};
  const std::string path = Settings("TerminalAddressStart=5\r\nTerminalAddressEnd=4\r\n");
  EXPECT_THAT(Load(path).warnings,
              ElementsAre(path + ": TerminalAddressStart=5 is after TerminalAddressEnd=4; using "
                                 "3 to 4"));
  EXPECT_EQ(stores_.settings.TerminalAddressStart, 3);
  EXPECT_EQ(stores_.settings.TerminalAddressEnd, 4);
}

TEST_F(ProfileReportTest, StartUpLogsTheReasonAndTheWarnings) {
  std::vector<std::string> logged;
  ScopedProgramLogSink sink([&](const std::string& line) { logged.push_back(line); });
  const std::string path = Settings("MDTColumns=0\r\n");
  StartupProfile startup;
  startup.load_path = path;
  EXPECT_TRUE(LoadStartupProfile(startup, stores_.get(), stores_.boxes));
  EXPECT_THAT(logged, ElementsAre(path + ": MDTColumns=0 ignored: not a whole number from 1 to "
                                         "32767; using 40"));

  logged.clear();
  startup.load_path = scratch_.path().string();
  EXPECT_FALSE(LoadStartupProfile(startup, stores_.get(), stores_.boxes));
  EXPECT_THAT(logged,
              ElementsAre("Unable to load profile " + startup.load_path + ": is a directory"));
}

TEST_F(ProfileReportTest, ASaveRefusedByTheFileSaysWhy) {
  fs::permissions(scratch_.path(), fs::perms::all);
  const std::string path = Settings("MDTColumns=80\r\n");
  const std::string before = scratch_.Read("p.ini");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(path.c_str(), kestrel_test::kUnprivilegedId, 0), 0);
  }
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  const std::optional<std::string> failure = kestrel_test::RunUnprivileged([&]() -> std::string {
    kestrel_test::ProgramStores stores;
    std::string why;
    if (SaveProfile(path, true, stores.get(), {}, nullptr, &why)) return "saved";
    return why;
  });
  if (!failure) GTEST_SKIP() << "no unprivileged user to run the save as";
  EXPECT_EQ(*failure, path + ": permission denied");
  EXPECT_EQ(scratch_.Read("p.ini"), before);
}

TEST_F(ProfileReportTest, LongNamesAndDanglingLinksSave) {
  // The side files add "Terminals"/"Rules": this main name makes the longest of them 255 bytes.
  const std::string stem = std::string(242, 's');
  const std::string path = scratch_.Path(stem + ".ini");
  stores_.aliases.SetChanged(true);
  stores_.rules.SetChanged(true);
  std::string why;
  ASSERT_TRUE(SaveProfile(path, true, stores_.get(), {}, nullptr, &why)) << why;
  EXPECT_TRUE(fs::exists(scratch_.Path(stem + "Terminals.ini")));
  EXPECT_TRUE(fs::exists(scratch_.Path(stem + "Rules.ini")));
  // A 250-byte name saved with settings only.
  const std::string long_main = scratch_.Path(std::string(246, 'm') + ".ini");
  ASSERT_TRUE(SaveProfile(long_main, true, stores_.get(), {}, nullptr, &why)) << why;
  EXPECT_TRUE(Load(long_main).failure.empty());
  // One byte more for the side files is beyond what any file system holds.
  stores_.aliases.SetChanged(true);
  EXPECT_FALSE(SaveProfile(scratch_.Path(stem + "x.ini"), true, stores_.get(), {}, nullptr, &why));
  EXPECT_THAT(why, ::testing::EndsWith("Terminals.ini: file name too long"));

  fs::create_symlink("target.ini", scratch_.Path("link.ini"));
  ASSERT_TRUE(SaveProfile(scratch_.Path("link.ini"), true, stores_.get(), {}, nullptr, &why))
      << why;
  EXPECT_TRUE(fs::is_symlink(scratch_.Path("link.ini")));
  EXPECT_TRUE(Load(scratch_.Path("target.ini")).failure.empty());
}

}  // namespace
}  // namespace kestrel
