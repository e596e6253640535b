#include "app/profile/profile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>
#include <utility>

#include "app/platform/paths.h"
#include "app/profile/ini_file.h"
#include "support/program_stores.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// Builds "prefix" + number; GCC 12 warns falsely about string literal + std::string.
std::string Named(std::string prefix, int number) { return prefix += std::to_string(number); }

Pairs AllPairs(const TerminalAliases& aliases) {
  Pairs pairs;
  std::string terminal, alias;
  for (int i = 1; aliases.GetAliasEntry(i, terminal, alias); ++i)
    pairs.emplace_back(terminal, alias);
  return pairs;
}

std::vector<std::string> RuleNames(const RulesClass& rules) {
  std::vector<std::string> names;
  for (int i = 1; i <= rules.Count(); ++i) names.push_back(rules.At(i)->Name);
  return names;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, std::string_view content) {
  std::ofstream(path, std::ios::binary) << content;
}

// One program's worth of stores.
struct Stores : kestrel_test::ProgramStores {
  Rule& AddRule(const std::string& name) {
    EXPECT_TRUE(rules.Add(name));
    return *rules.Current();
  }
};

class ProfileTest : public ::testing::Test {
 protected:
  std::string Path(std::string_view name) const { return scratch_.Path(name); }
  std::string Aliases() const { return AliasesFilePath(path_); }
  std::string Rules() const { return RulesFilePath(path_); }

  kestrel_test::ScratchDirectory scratch_{"profile_test"};
  const fs::path directory_ = scratch_.path();
  const std::string path_ = Path("Kestrel.ini");
};

// ---- File names and start-up ----

TEST(ProfileNames, FileNamesSplitAtTheLastSeparatorOfEitherKind) {
  struct Case {
    std::string_view path, title, without_extension, extension;
  } cases[] = {
      {"C:\\Data\\Kestrel.ini", "Kestrel", "C:\\Data\\Kestrel", "ini"},
      {"/home/u/.config/Kestrel/Night shift.ini", "Night shift",
       "/home/u/.config/Kestrel/Night shift", "ini"},
      {"/srv/a.b/profile", "profile", "/srv/a.b/profile", ""},
      {"C:\\a.b\\profile", "profile", "C:\\a.b\\profile", ""},
      {"dir.x/name.tar.gz", "name", "dir.x/name.tar", "gz"},
      {"mixed\\dir/x.y\\last.", "last", "mixed\\dir/x.y\\last", ""},
      {"/x/.hidden", "", "/x/", "hidden"},
      {"plain", "plain", "plain", ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetFileTitle(c.path), c.title) << c.path;
    EXPECT_EQ(RemoveExtension(c.path), c.without_extension) << c.path;
    EXPECT_EQ(GetExtension(c.path), c.extension) << c.path;
  }
  EXPECT_EQ(AliasesFilePath("C:\\Data\\Kestrel.ini"), "C:\\Data\\KestrelTerminals.ini");
  EXPECT_EQ(RulesFilePath("/p/Kestrel.ini"), "/p/KestrelRules.ini");
  EXPECT_EQ(RulesFilePath("/p.d/Kestrel"), "/p.d/KestrelRules.");

  EXPECT_EQ(ProfileCaption("/p/Kestrel.ini"), "Kestrel");
  EXPECT_EQ(ProfileCaption("C:\\Data\\Kestrel.ini"), "Kestrel");
  EXPECT_EQ(ProfileCaption("/p/MyKestrel.ini"), "MyKestrel - Kestrel");
  EXPECT_EQ(ProfileCaption("/p/Night.shift.ini"), "Night - Kestrel");
}

TEST(ProfileNames, ConfigDirectoryFollowsTheXdgRules) {
  EXPECT_EQ(ConfigDirectoryFrom("/xdg", "/home/u"), "/xdg/Kestrel");
  EXPECT_EQ(ConfigDirectoryFrom("/xdg/", "/home/u"), "/xdg/Kestrel");
  EXPECT_EQ(ConfigDirectoryFrom("relative", "/home/u"), "/home/u/.config/Kestrel");
  EXPECT_EQ(ConfigDirectoryFrom("", "/home/u"), "/home/u/.config/Kestrel");
  EXPECT_EQ(ConfigDirectoryFrom(nullptr, "/home/u"), "/home/u/.config/Kestrel");
  EXPECT_EQ(ConfigDirectoryFrom(nullptr, nullptr), "");
  EXPECT_EQ(JoinPath("", "Kestrel.ini"), "Kestrel.ini");
}

TEST(ProfileNames, StartupResolvesTheCommandLine) {
  const std::string config = "/cfg/Kestrel";
  auto exists = [](const std::string&) { return true; };
  auto missing = [](const std::string&) { return false; };
  struct Case {
    std::string_view command_line;
    bool default_exists;
    std::string_view load_path, default_profile;
    bool minimized;
  } cases[] = {
      {"", true, "/cfg/Kestrel/Kestrel.ini", "", false},
      {"", false, "", "/cfg/Kestrel/Kestrel.ini", false},
      {"-minimized", true, "/cfg/Kestrel/Kestrel.ini", "", true},
      {"-minimized", false, "", "", true},
      {"Night.ini", false, "/cfg/Kestrel/Night.ini", "", false},
      {"\"My Profile.ini\"", false, "/cfg/Kestrel/My Profile.ini", "", false},
      {"\"/srv/p q.ini\"", true, "/srv/p q.ini", "", false},
      {"profiles/x.ini", true, "profiles/x.ini", "", false},
      {"C:\\Data\\x.ini", true, "C:\\Data\\x.ini", "", false},
      {"\"", false, "/cfg/Kestrel/\"", "", false},
      {"-minimized extra", false, "/cfg/Kestrel/-minimized extra", "", false},
  };
  for (const Case& c : cases) {
    StartupProfile startup =
        ResolveStartupProfile(c.command_line, config, c.default_exists ? exists : missing);
    EXPECT_EQ(startup.load_path, c.load_path) << c.command_line;
    EXPECT_EQ(startup.default_profile, c.default_profile) << c.command_line;
    EXPECT_EQ(startup.minimized, c.minimized) << c.command_line;
  }
  const char* argv[] = {"kestrel", "My", "Profile.ini"};
  EXPECT_EQ(CommandLineFromArguments(3, argv), "My Profile.ini");
  EXPECT_EQ(CommandLineFromArguments(1, argv), "");
}

TEST_F(ProfileTest, StartupLoadsReportsOrPreparesTheDefaultProfile) {
  Stores missing;
  EXPECT_FALSE(LoadStartupProfile({path_, "", false}, missing.get(), missing.boxes));
  ASSERT_EQ(missing.boxes.shown.size(), 1u);
  EXPECT_EQ(missing.boxes.shown[0].text, "Unable to load profile " + path_);
  EXPECT_EQ(missing.boxes.shown[0].title, "Error Loading Profile");
  EXPECT_EQ(missing.boxes.shown[0].icon, MessageBoxes::Icon::kExclamation);
  EXPECT_EQ(missing.settings.CurrentProfile, "");

  // The empty default profile loads without setting anything but where later saves go.
  WriteFile(path_, "");
  Stores empty;
  EXPECT_TRUE(LoadStartupProfile({path_, "", false}, empty.get(), empty.boxes));
  EXPECT_EQ(empty.settings.CurrentProfile, path_);
  EXPECT_TRUE(empty.boxes.shown.empty());

  // A first start: the configuration directory does not exist yet, and the first save must work.
  const std::string fresh = Path("config/Kestrel/Kestrel.ini");
  Stores first;
  EXPECT_TRUE(LoadStartupProfile({"", fresh, false}, first.get(), first.boxes));
  EXPECT_EQ(first.settings.CurrentProfile, fresh);
  EXPECT_TRUE(SaveProfile(first.settings.CurrentProfile, true, first.get()));
  EXPECT_TRUE(FileExists(fresh));
  EXPECT_EQ(fs::status(directory_ / "config").permissions() & fs::perms::all, fs::perms::owner_all);
}

// ---- Loading ----

TEST_F(ProfileTest, EmptyMissingAndVersionlessProfiles) {
  Stores stores;
  stores.settings.CurrentProfile = "/before.ini";
  EXPECT_FALSE(LoadProfile(path_, stores.get()));
  EXPECT_FALSE(LoadProfile(directory_.string(), stores.get()));

  WriteFile(path_, "");
  std::string caption = "untouched";
  EXPECT_TRUE(LoadProfile(path_, stores.get(), &caption));
  Settings defaults;
  defaults.CurrentProfile = "/before.ini";
  EXPECT_EQ(stores.settings, defaults);
  EXPECT_EQ(caption, "untouched");

  WriteFile(path_, "[Settings]\r\nSMTPMailServer=mail.example.org\r\nMDTColumns=80\r\n");
  EXPECT_FALSE(LoadProfile(path_, stores.get()));
  EXPECT_EQ(stores.settings.SMTPMailServer, "mail.example.org");  // read before Version
  EXPECT_EQ(stores.settings.MDTColumns, 40);
  EXPECT_EQ(stores.settings.CurrentProfile, "/before.ini");
}

TEST_F(ProfileTest, OldVersionsTakeTheirOwnKeys) {
  struct Case {
    std::string_view version;
    int com_port_number, com_port_device;
    bool com_port_reverse, reverse_polarity;
  } cases[] = {
      {"1.6.1", 4, 2, true, true},
      {"1.0.1", 4, 2, true, true},
      {"1.0.0", 7, 1, false, true},
      {"0.7.0", 7, 1, false, true},
      {"0.6.9", 7, 1, false, false},
      {"1.10.0", 4, 2, true, true},  // compares as text: above 1.0.1, below 1.6.0
  };
  for (const Case& c : cases) {
    WriteFile(path_, "[Settings]\nVersion=" + std::string(c.version) +
                         "\nReversePolarity=True\nCOMPortNumber=4\nCOMPortDevice=2\n"
                         "COMPortReversePolarity=True\nRM100COMPort=7\n"
                         "RM100ReversePolarity=False\nMaxMessagesToSave=99\n");
    Stores stores;
    ASSERT_TRUE(LoadProfile(path_, stores.get())) << c.version;
    EXPECT_EQ(stores.settings.COMPortNumber, c.com_port_number) << c.version;
    EXPECT_EQ(stores.settings.COMPortDevice, c.com_port_device) << c.version;
    EXPECT_EQ(stores.settings.COMPortReversePolarity, c.com_port_reverse) << c.version;
    EXPECT_EQ(stores.settings.ReversePolarity, c.reverse_polarity) << c.version;
    EXPECT_EQ(stores.settings.MaxMessagesToSave, 99);
  }
}

TEST_F(ProfileTest, EachKeyFollowsItsLoadRule) {
  struct Case {
    std::string lines;
    std::function<bool(const Settings&)> holds;
  };
  const Case cases[] = {
      // Bad values leave the defaults.
      {"MDTColumns=0\nMaxMessagesToSave=-5\nMainWidth=abc\nSamplingRate=",
       [](const Settings& s) {
         return s.MDTColumns == 40 && s.MaxMessagesToSave == 50 && s.MainWidth == 12000 &&
                s.SamplingRate == 0;
       }},
      {"MDTColumns=0.4\nTerminalAddressEnd=99999999999\nMDTColumns=90",
       [](const Settings& s) { return s.MDTColumns == 40 && s.TerminalAddressEnd == 4; }},
      {"MDTColumns=32768\nVerticalSplitter=1" + std::string(400, '0') + "\nMainTop=-3000000000",
       [](const Settings& s) {
         return s.MDTColumns == 40 && s.VerticalSplitter == 3000 && s.MainTop == 1200;
       }},
      // The leading number counts, and integers round halves to the even neighbour.
      {"MDTColumns=80 columns\nTerminalAddressStart=2.5\nTerminalAddressEnd=3.5\n"
       "MaxMessagesToSave=+7.51\nMainTop=-150.25\nMessageDetailsTop=-.5\nMDTFontSize=10.5",
       [](const Settings& s) {
         return s.MDTColumns == 80 && s.TerminalAddressStart == 2 && s.TerminalAddressEnd == 4 &&
                s.MaxMessagesToSave == 8 && s.MainTop == -150.25 && s.MessageDetailsTop == 0 &&
                s.MDTFontSize == 10.5;
       }},
      {"COMPortNumber=abc\nServerPort=\nMessagesForeground=255\nMDTBackground=-1",
       [](const Settings& s) {
         return s.COMPortNumber == 1 && s.MessagesForeground == 255 && s.MDTBackground == -1;
       }},
      // Booleans: the words in any case, or any number.
      {"AutoReconnect=fALSE\nToolBar=0\nActivityLED=2\nAlwaysOnTop=yes\nMonitoring=1x\n"
       "Ignore35Prefix=-0.5\nListen=",
       [](const Settings& s) {
         return !s.AutoReconnect && !s.ToolBar && s.ActivityLED && !s.AlwaysOnTop && s.Monitoring &&
                s.Ignore35Prefix && s.Listen;
       }},
      // The decoder is one of two; a profile without the key gets the robust one.
      {"DecoderMode=-1", [](const Settings& s) { return s.DecoderMode == kDecoderModeRobust; }},
      {"DecoderMode=2", [](const Settings& s) { return s.DecoderMode == kDecoderModeRobust; }},
      {"DecoderMode=0", [](const Settings& s) { return s.DecoderMode == kDecoderModeExact; }},
      {"DecoderMode=1", [](const Settings& s) { return s.DecoderMode == kDecoderModeRobust; }},
      // Security 0 to 2 and a port 0 to 65535; anything else keeps the plain default.
      {"SMTPSecurity=3\nSMTPPort=65536",
       [](const Settings& s) { return s.SMTPSecurity == 0 && s.SMTPPort == 0; }},
      {"SMTPSecurity=-1\nSMTPPort=-1",
       [](const Settings& s) { return s.SMTPSecurity == 0 && s.SMTPPort == 0; }},
      {"SMTPSecurity=2\nSMTPPort=65535",
       [](const Settings& s) { return s.SMTPSecurity == 2 && s.SMTPPort == 65535; }},
      // Text: SMTPMailServer is always taken, the font name only when given.
      {"SMTPMailServer=\nMDTFontName=",
       [](const Settings& s) {
         return s.SMTPMailServer.empty() && s.MDTFontName == "Courier New";
       }},
      // The feed server is read only with a data source.
      {"ServerAddress=feed.example.org\nServerPort=1234",
       [](const Settings& s) { return s.ServerAddress == "prior" && s.ServerPort == 990; }},
      {"SieveSource=abc\nServerAddress=feed.example.org\nServerPort=1234",
       [](const Settings& s) {
         return s.SieveSource == 1 && s.ServerAddress == "prior" && s.ServerPort == 990;
       }},
      {"SieveSource=2\nServerAddress=\nServerPort=1234",
       [](const Settings& s) {
         return s.SieveSource == 2 && s.ServerAddress.empty() && s.ServerPort == 1234;
       }},
  };
  for (const Case& c : cases) {
    WriteFile(path_, "[Settings]\nVersion=1.6.1\n" + std::string(c.lines) + "\n");
    Stores stores;
    stores.settings.SMTPMailServer = "prior";
    stores.settings.ServerAddress = "prior";
    ASSERT_TRUE(LoadProfile(path_, stores.get())) << c.lines;
    EXPECT_TRUE(c.holds(stores.settings)) << c.lines;
  }
}

// ---- Saving ----

// Every member away from its default, with values that test the formats.
Settings Unusual() {
  Settings s;
  s.SMTPMailServer = " smtp.example.org ";
  s.ReversePolarity = true;
  s.AutoReconnect = false;
  s.COMPortReversePolarity = true;
  s.COMPortNumber = 3;
  s.COMPortDevice = 2;
  s.ToolBar = false;
  s.StatusBar = false;
  s.MDTColumns = 80;
  s.TerminalAddressStart = 5;
  s.TerminalAddressEnd = 7;
  s.Ignore35Prefix = true;
  s.IgnoreDownloadedStrings = true;
  s.AutoSave = false;
  s.ActivityLED = true;
  s.DisplayInSystemTray = true;
  s.AlwaysOnTop = true;
  s.MainTop = -120.5;
  s.MainLeft = 0.1;
  s.MainWidth = 15360;
  s.MainHeight = 11520.75;
  s.MessageDetailsTop = -15;
  s.MessageDetailsLeft = 30;
  s.MessageDetailsHeight = 4000;
  s.AlertTop = 1;
  s.AlertLeft = 2;
  s.AlertHeight = 3;
  s.VerticalSplitter = 2999.5;
  s.HorizontalSplitter = 1e9;
  s.MessagesForeground = 255;
  s.MessagesBackground = 65280;
  s.TerminalsForeground = 16711680;
  s.TerminalsBackground = 16777215;
  s.MDTForeground = 1;
  s.MDTBackground = 2;
  s.MessagesCol1 = 1;
  s.MessagesCol2 = 2.25;
  s.MessagesCol4 = 3;
  s.TerminalsCol1 = 4;
  s.MaxMessagesToSave = 500;
  s.Monitoring = false;
  s.Listen = false;
  s.SamplingRate = 22050;
  s.SieveSource = 2;
  s.ServerAddress = "'feed.example.org'";
  s.ServerPort = 65535;
  s.MDTFontName = "DejaVu Sans Mono";
  s.MDTFontSize = 10.5;
  s.MDTFontBold = true;
  s.MDTFontItalic = true;
  s.AudioInputDevice = "alsa_input.usb-receiver.mono";
  s.COMPortName = "/dev/ttyUSB0";
  s.DecoderMode = kDecoderModeExact;
  s.SMTPSecurity = 2;
  s.SMTPPort = 65535;
  s.SMTPUserName = "alerts@example.org";
  s.SMTPCAFile = "/etc/ssl/private-ca.pem";
  s.SMTPPasswordFile = "/run/secrets/smtp";
  return s;
}

TEST_F(ProfileTest, EveryKeySurvivesASaveAndLoadInTableOrder) {
  Stores saved;
  saved.settings = Unusual();
  saved.settings.SettingsChanged = true;
  std::string caption;
  ASSERT_TRUE(SaveProfile(path_, true, saved.get(), {}, &caption));
  EXPECT_FALSE(saved.settings.SettingsChanged);
  EXPECT_EQ(saved.settings.CurrentProfile, path_);
  EXPECT_EQ(caption, "Kestrel");
  // Nothing changed in the stores: no side files.
  EXPECT_FALSE(fs::exists(Aliases()));
  EXPECT_FALSE(fs::exists(Rules()));

  IniFile file;
  ASSERT_EQ(file.Load(path_), IniLoad::kLoaded);
  const std::vector<std::string> order = {"Version",
                                          "SMTPMailServer",
                                          "ReversePolarity",
                                          "AutoReconnect",
                                          "COMPortReversePolarity",
                                          "COMPortNumber",
                                          "COMPortDevice",
                                          "ToolBar",
                                          "StatusBar",
                                          "MDTColumns",
                                          "TerminalAddressStart",
                                          "TerminalAddressEnd",
                                          "Ignore35Prefix",
                                          "IgnoreDownloadedStrings",
                                          "AutoSave",
                                          "ActivityLED",
                                          "DisplayInSystemTray",
                                          "AlwaysOnTop",
                                          "MainTop",
                                          "MainLeft",
                                          "MainWidth",
                                          "MainHeight",
                                          "MessageDetailsTop",
                                          "MessageDetailsLeft",
                                          "MessageDetailsHeight",
                                          "AlertTop",
                                          "AlertLeft",
                                          "AlertHeight",
                                          "VerticalSplitter",
                                          "HorizontalSplitter",
                                          "MessagesForeground",
                                          "MessagesBackground",
                                          "TerminalsForeground",
                                          "TerminalsBackground",
                                          "MDTForeground",
                                          "MDTBackground",
                                          "MessagesCol1",
                                          "MessagesCol2",
                                          "MessagesCol4",
                                          "TerminalsCol1",
                                          "MaxMessagesToSave",
                                          "Monitoring",
                                          "Listen",
                                          "SamplingRate",
                                          "SieveSource",
                                          "ServerAddress",
                                          "ServerPort",
                                          "MDTFontName",
                                          "MDTFontSize",
                                          "MDTFontBold",
                                          "MDTFontItalic",
                                          "AudioInputDevice",
                                          "COMPortName",
                                          "DecoderMode",
                                          "SMTPSecurity",
                                          "SMTPPort",
                                          "SMTPUserName",
                                          "SMTPCAFile",
                                          "SMTPPasswordFile"};
  EXPECT_EQ(file.Keys("Settings"), order);
  EXPECT_EQ(file.Read("Settings", "Version"), "1.6.1");
  EXPECT_EQ(file.Read("Settings", "ReversePolarity"), "True");
  EXPECT_EQ(file.Read("Settings", "AutoReconnect"), "False");
  EXPECT_EQ(file.Read("Settings", "MainHeight"), "11520.75");
  EXPECT_EQ(file.Read("Settings", "HorizontalSplitter"), "1000000000");
  EXPECT_EQ(file.Read("Settings", "MessageDetailsTop"), "-15");

  Stores loaded;
  loaded.settings.CurrentProfile = "/another.ini";
  ASSERT_TRUE(LoadProfile(path_, loaded.get(), &caption));
  EXPECT_EQ(caption, "Kestrel");
  Settings expected = saved.settings;
  EXPECT_EQ(loaded.settings, expected);

  // Saved again under another name, the caption names it.
  ASSERT_TRUE(SaveProfile(Path("Night.ini"), true, saved.get(), {}, &caption));
  EXPECT_EQ(caption, "Night - Kestrel");
  ASSERT_TRUE(LoadProfile(Path("Night.ini"), loaded.get(), &caption));
  EXPECT_EQ(caption, "Night - Kestrel");
}

TEST_F(ProfileTest, AMinimisedSaveKeepsTheFilesGeometryAndOtherContent) {
  WriteFile(path_,
            "; my notes\r\n[Settings]\r\nVersion=1.6.1\r\nMainTop=77\r\nAlertHeight=88\r\n"
            "[Mine]\r\nx=1\r\n");
  Stores stores;
  stores.settings = Unusual();
  ASSERT_TRUE(SaveProfile(path_, true, stores.get(), {.minimised = true}));
  IniFile file;
  ASSERT_EQ(file.Load(path_), IniLoad::kLoaded);
  EXPECT_EQ(file.Read("Settings", "MainTop"), "77");
  EXPECT_EQ(file.Read("Settings", "AlertHeight"), "88");
  EXPECT_FALSE(file.Find("Settings", "MainWidth"));
  EXPECT_EQ(file.Read("Settings", "MDTColumns"), "80");
  EXPECT_EQ(file.Read("Mine", "x"), "1");
  EXPECT_TRUE(ReadFile(path_).starts_with("; my notes\r\n"));
}

TEST_F(ProfileTest, ASaveWithoutSettingsWritesChangedAliasesOnly) {
  Stores stores;
  stores.aliases.Assign("0A1B", "Unit 7");
  stores.aliases.Assign("0C00", "Dispatch");
  stores.aliases.SetChanged(true);
  stores.AddRule("Dispatch").Active = true;
  stores.rules.SetChanged(true);
  stores.settings.SettingsChanged = true;
  ASSERT_TRUE(SaveProfile(path_, true, stores.get()));
  const std::string main_before = ReadFile(path_);
  const std::string rules_before = ReadFile(Rules());
  ASSERT_FALSE(rules_before.empty());

  // The user answers No: settings and rules stay as saved, the aliases go out.
  stores.settings.MDTColumns = 99;
  stores.settings.SettingsChanged = true;
  stores.AddRule("Unsaved");
  stores.rules.SetChanged(true);
  stores.aliases.Clear();
  stores.aliases.Assign("0D00", "Car 4");
  stores.aliases.SetChanged(true);
  std::string caption;
  ASSERT_TRUE(SaveProfile(path_, false, stores.get(), {}, &caption));
  EXPECT_EQ(ReadFile(path_), main_before);
  EXPECT_EQ(ReadFile(Rules()), rules_before);
  EXPECT_FALSE(stores.aliases.Changed());
  EXPECT_TRUE(stores.rules.Changed());
  EXPECT_TRUE(stores.settings.SettingsChanged);
  EXPECT_EQ(caption, "Kestrel");

  // The aliases file is updated, not replaced: the second pair of the earlier save stays there,
  // beyond the count, and is never read.
  IniFile file;
  ASSERT_EQ(file.Load(Aliases()), IniLoad::kLoaded);
  EXPECT_EQ(file.Read("TerminalAliases", "Aliases"), "1");
  EXPECT_EQ(file.Read("TerminalAliases", "Terminal2"), "0C00");
  Stores loaded;
  ASSERT_TRUE(LoadProfile(path_, loaded.get()));
  EXPECT_EQ(AllPairs(loaded.aliases), (Pairs{{"0D00", "Car 4"}}));
  EXPECT_EQ(RuleNames(loaded.rules), std::vector<std::string>{"Dispatch"});
  EXPECT_EQ(loaded.settings.MDTColumns, 40);
}

// An old single-file profile: everything in the main file.
constexpr std::string_view kSingleFileProfile =
    "[Settings]\r\nVersion=1.6.0\r\nSMTPMailServer=mail.example.org\r\nMDTColumns=64\r\n"
    "MainTop=333\r\n"
    "[TerminalAliases]\r\nAliases=3\r\nTerminal1=0A1B\r\nAlias1=Unit 7\r\n"
    "Terminal2=0C00\r\nAlias2=\r\nTerminal3=0E00\r\nAlias3=Car 9\r\n"
    "[Rules]\r\nRules=1\r\nName1=Old rule\r\nActive1=True\r\nMessageBody1=*FIRE*\r\n"
    "LogMessageVerb1=with the\r\nLogMessageTo1=0\r\n";

TEST_F(ProfileTest, ASingleFileProfileIsReadWholeAndSplitByTheNextSave) {
  WriteFile(path_, kSingleFileProfile);
  Stores stores;
  ASSERT_TRUE(LoadProfile(path_, stores.get()));
  EXPECT_EQ(stores.settings.MDTColumns, 64);
  // Only pairs with both parts are assigned.
  EXPECT_EQ(AllPairs(stores.aliases), (Pairs{{"0A1B", "Unit 7"}, {"0E00", "Car 9"}}));
  ASSERT_EQ(RuleNames(stores.rules), std::vector<std::string>{"Old rule"});
  EXPECT_EQ(stores.rules.At(1)->MessageBody, "*FIRE*");
  EXPECT_EQ(stores.rules.At(1)->LogMessageVerb, "with");
  EXPECT_EQ(stores.rules.At(1)->LogMessageTo, 2);
  EXPECT_TRUE(stores.aliases.Changed());
  EXPECT_TRUE(stores.rules.Changed());
  EXPECT_TRUE(stores.settings.RewriteProfileOnSave);

  // A minimised save rebuilds the main file but keeps the window position it held.
  ASSERT_TRUE(SaveProfile(path_, true, stores.get(), {.minimised = true}));
  EXPECT_FALSE(stores.settings.RewriteProfileOnSave);
  IniFile main;
  ASSERT_EQ(main.Load(path_), IniLoad::kLoaded);
  EXPECT_EQ(main.Read("Settings", "Version"), "1.6.1");
  EXPECT_EQ(main.Read("Settings", "MainTop"), "333");
  EXPECT_TRUE(main.Keys("TerminalAliases").empty());
  EXPECT_TRUE(main.Keys("Rules").empty());
  EXPECT_TRUE(fs::exists(Aliases()));
  EXPECT_TRUE(fs::exists(Rules()));

  Stores reloaded;
  ASSERT_TRUE(LoadProfile(path_, reloaded.get()));
  EXPECT_EQ(AllPairs(reloaded.aliases), AllPairs(stores.aliases));
  ASSERT_EQ(reloaded.rules.Count(), 1);
  EXPECT_EQ(*reloaded.rules.At(1), *stores.rules.At(1));
  EXPECT_FALSE(reloaded.aliases.Changed());
  EXPECT_FALSE(reloaded.rules.Changed());
  EXPECT_FALSE(reloaded.settings.RewriteProfileOnSave);
  EXPECT_EQ(reloaded.settings.SMTPMailServer, "mail.example.org");
}

TEST_F(ProfileTest, ASingleFileProfileLosesNothingWhateverSavesItFirst) {
  // An exported rule set clears the changed mark, yet the rewrite drops the main file's rules.
  WriteFile(path_, kSingleFileProfile);
  Stores exported;
  ASSERT_TRUE(LoadProfile(path_, exported.get()));
  exported.rules.SetChanged(false);
  exported.aliases.SetChanged(false);
  ASSERT_TRUE(SaveProfile(path_, true, exported.get()));
  Stores reloaded;
  ASSERT_TRUE(LoadProfile(path_, reloaded.get()));
  EXPECT_EQ(RuleNames(reloaded.rules), std::vector<std::string>{"Old rule"});
  EXPECT_EQ(reloaded.aliases.Count(), 2);

  // Saved without settings, the main file stays single-file and is still what a load reads,
  // so the alias edit must reach it too.
  WriteFile(path_, kSingleFileProfile);
  fs::remove(Aliases());
  fs::remove(Rules());
  Stores edited;
  ASSERT_TRUE(LoadProfile(path_, edited.get()));
  edited.aliases.Assign("0A1B", "Unit 8");
  ASSERT_TRUE(SaveProfile(path_, false, edited.get()));
  Stores next_start;
  ASSERT_TRUE(LoadProfile(path_, next_start.get()));
  EXPECT_EQ(next_start.aliases.Alias("0A1B"), "Unit 8");
  EXPECT_EQ(RuleNames(next_start.rules), std::vector<std::string>{"Old rule"});
  EXPECT_EQ(next_start.settings.MDTColumns, 64);
  EXPECT_TRUE(next_start.settings.RewriteProfileOnSave);
}

TEST_F(ProfileTest, ASecondProfileAddsItsRulesAndAliases) {
  Stores first;
  first.aliases.Assign("0A1B", "Unit 7");
  first.aliases.Assign("0C00", "Dispatch");
  first.aliases.SetChanged(true);
  first.AddRule("Fire").MessageBody = "*FIRE*";
  first.rules.SetChanged(true);
  ASSERT_TRUE(SaveProfile(path_, true, first.get()));

  const std::string second = Path("Second.ini");
  Stores other;
  other.aliases.Assign("0C00", "Base");
  other.aliases.Assign("0E00", "Car 9");
  other.aliases.SetChanged(true);
  other.AddRule("Police").SentTo = "0E*";
  other.AddRule("FIRE").MessageBody = "*SMOKE*";  // a name already held: the held rule stays
  other.rules.SetChanged(true);
  ASSERT_TRUE(SaveProfile(second, true, other.get()));
  EXPECT_TRUE(fs::exists(Path("SecondTerminals.ini")));
  EXPECT_TRUE(fs::exists(Path("SecondRules.ini")));

  Stores stores;
  std::string caption;
  ASSERT_TRUE(LoadProfile(path_, stores.get(), &caption));
  EXPECT_EQ(caption, "Kestrel");
  ASSERT_TRUE(LoadProfile(second, stores.get(), &caption));
  EXPECT_EQ(caption, "Second - Kestrel");
  EXPECT_EQ(stores.settings.CurrentProfile, second);
  EXPECT_EQ(AllPairs(stores.aliases),
            (Pairs{{"0A1B", "Unit 7"}, {"0C00", "Base"}, {"0E00", "Car 9"}}));
  EXPECT_EQ(RuleNames(stores.rules), (std::vector<std::string>{"Fire", "Police"}));
  EXPECT_EQ(stores.rules.At(1)->MessageBody, "*FIRE*");
  EXPECT_EQ(stores.rules.At(2)->SentTo, "0E*");
  EXPECT_FALSE(stores.rules.Changed());
  EXPECT_FALSE(stores.aliases.Changed());
}

struct RecordingStatus : SaveStatus {
  void Show(std::string_view caption, std::string_view label, int percent) override {
    events.push_back(std::string(caption) + "|" + std::string(label) + "|" +
                     std::to_string(percent));
  }
  void SetProgress(int percent) override { progress.push_back(percent); }
  void Close() override { events.push_back("close"); }
  std::vector<std::string> events;
  std::vector<int> progress;
};

TEST_F(ProfileTest, TheStatusWindowFollowsTheSaveAndAlwaysCloses) {
  Stores stores;
  RecordingStatus quiet;
  ASSERT_TRUE(SaveProfile(path_, true, stores.get(), {.status = &quiet}));
  EXPECT_TRUE(quiet.events.empty());  // nothing but settings: too quick to show

  stores.aliases.Assign("0A", "a");
  stores.aliases.Assign("0B", "b");
  stores.aliases.SetChanged(true);
  stores.rules.SetChanged(true);
  RecordingStatus full;
  ASSERT_TRUE(SaveProfile(path_, true, stores.get(), {.status = &full}));
  EXPECT_EQ(full.events, (std::vector<std::string>{"Saving Profile|Saving settings...|0",
                                                   "Saving Profile|Saving terminal aliases...|0",
                                                   "Saving Profile|Saving rules...|0", "close"}));
  EXPECT_EQ(full.progress.size(), 45u + 2u + 1u);
  EXPECT_EQ(full.progress[44], 100);
  EXPECT_TRUE(std::is_sorted(full.progress.begin(), full.progress.begin() + 45));

  stores.aliases.SetChanged(true);
  RecordingStatus aliases_only;
  ASSERT_TRUE(SaveProfile(path_, false, stores.get(), {.status = &aliases_only}));
  EXPECT_EQ(aliases_only.events,
            (std::vector<std::string>{"Saving Profile|Saving terminal aliases...|0", "close"}));
}

TEST_F(ProfileTest, AFailedSaveReportsItAndKeepsTheMarks) {
  Stores stores;
  stores.aliases.Assign("0A", "a");
  stores.aliases.SetChanged(true);
  stores.rules.SetChanged(true);
  stores.settings.SettingsChanged = true;
  stores.settings.CurrentProfile = "/earlier.ini";

  // The main file cannot be read back, so it cannot be updated without losing what it holds.
  fs::create_directory(path_);
  EXPECT_FALSE(SaveProfile(path_, true, stores.get()));
  EXPECT_FALSE(fs::exists(Aliases()));
  fs::remove(path_);

  // The aliases file cannot be written: nothing after it is either.
  fs::create_directory(Aliases());
  EXPECT_FALSE(SaveProfile(path_, true, stores.get()));
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_FALSE(fs::exists(Rules()));
  EXPECT_TRUE(stores.aliases.Changed());
  EXPECT_TRUE(stores.rules.Changed());
  EXPECT_TRUE(stores.settings.SettingsChanged);
  EXPECT_EQ(stores.settings.CurrentProfile, "/earlier.ini");
  fs::remove(Aliases());

  EXPECT_FALSE(SaveProfile(Path("missing/Kestrel.ini"), true, stores.get()));
  EXPECT_FALSE(SaveProfile("", true, stores.get()));
  ASSERT_TRUE(SaveProfile(path_, true, stores.get()));
  EXPECT_FALSE(stores.aliases.Changed());
  EXPECT_FALSE(stores.rules.Changed());
  EXPECT_FALSE(stores.settings.SettingsChanged);
  // No temporary files are left behind by the failures.
  EXPECT_EQ(std::distance(fs::directory_iterator(directory_), fs::directory_iterator()), 3);
}

// ---- Crashes while saving ----

// A profile big enough that saving it takes a while: many rules with long texts.
void FillLarge(Stores& stores, char variant, int aliases = 2000) {
  const std::string text(300, variant);
  stores.settings.MDTColumns = variant == 'a' ? 40 : 80;
  stores.aliases.Clear();
  for (int i = 0; i < aliases; ++i) stores.aliases.Assign(Named("T", i), text.substr(0, 40));
  stores.rules.Clear();
  for (int i = 0; i < 600; ++i) {
    Rule& rule = stores.AddRule(Named("Rule ", i));
    rule.MessageBody = text;
    rule.EMailMessageSubject = text;
    rule.LogFilename = text;
  }
  stores.aliases.SetChanged(true);
  stores.rules.SetChanged(true);
}

class ProfileCrashTest : public ProfileTest {
 protected:
  struct Snapshot {
    std::string main, aliases, rules;
  };
  Snapshot Take() { return {ReadFile(path_), ReadFile(Aliases()), ReadFile(Rules())}; }

  // The profile on disk must load, with every rule and alias of one of the complete saves.
  void ExpectLoadable(int rules, int aliases) {
    Stores loaded;
    ASSERT_TRUE(LoadProfile(path_, loaded.get()));
    EXPECT_EQ(loaded.rules.Count(), rules);
    EXPECT_EQ(loaded.aliases.Count(), aliases);
  }
};

TEST_F(ProfileCrashTest, AWriteFailingPartWayLeavesThePreviousProfile) {
  // A few aliases fit; the rules file outgrows the disk part-way through its write.
  struct Case {
    std::string_view name;
    std::function<void(Stores&)> write_old;
  } cases[] = {
      {"side files",
       [&](Stores& old_profile) {
         old_profile.aliases.Assign("0A1B", "Unit 7");
         old_profile.aliases.SetChanged(true);
         old_profile.AddRule("Dispatch").MessageBody = "*";
         old_profile.rules.SetChanged(true);
         ASSERT_TRUE(SaveProfile(path_, true, old_profile.get()));
       }},
      // The rewrite of a single-file profile: the old main file holds everything until the end.
      {"single file", [&](Stores&) { WriteFile(path_, kSingleFileProfile); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(directory_);
    fs::create_directory(directory_);
    Stores old_profile;
    c.write_old(old_profile);
    const Snapshot before = Take();
    Stores expected;
    ASSERT_TRUE(LoadProfile(path_, expected.get()));

    Stores large;
    ASSERT_TRUE(LoadProfile(path_, large.get()));
    FillLarge(large, 'n', 1);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // A disk that fills up: any file beyond 64 KiB fails part-way through its write.
      ::signal(SIGXFSZ, SIG_IGN);
      rlimit limit{64 << 10, 64 << 10};
      ::setrlimit(RLIMIT_FSIZE, &limit);
      ::_exit(SaveProfile(path_, true, large.get()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save must report the failure";

    const Snapshot after = Take();
    EXPECT_EQ(after.main, before.main);
    EXPECT_EQ(after.rules, before.rules);
    Stores loaded;
    ASSERT_TRUE(LoadProfile(path_, loaded.get()));
    EXPECT_EQ(RuleNames(loaded.rules), RuleNames(expected.rules));
    EXPECT_EQ(loaded.settings, expected.settings);
    // The aliases file is the one that was written completely before the failure.
    IniFile aliases;
    ASSERT_EQ(aliases.Load(Aliases()), IniLoad::kLoaded);
    EXPECT_EQ(aliases.Read("TerminalAliases", "Terminal1"), "T0");
    for (const auto& entry : fs::directory_iterator(directory_)) {
      EXPECT_NE(entry.path().extension(), ".tmp");
    }
  }
}

TEST_F(ProfileCrashTest, AKillAtAnyMomentLeavesOneCompleteProfile) {
  // The two complete states each file may be found in.
  Stores a, b;
  FillLarge(a, 'a');
  FillLarge(b, 'b');
  ASSERT_TRUE(SaveProfile(path_, true, b.get()));
  const Snapshot state_b = Take();
  ASSERT_TRUE(SaveProfile(path_, true, a.get()));
  const Snapshot state_a = Take();
  ASSERT_NE(state_a.rules, state_b.rules);

  std::mt19937 random(7);
  int killed_mid_save = 0;
  for (int round = 0; round < 12; ++round) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) {
        Stores& stores = i % 2 == 0 ? b : a;
        stores.aliases.SetChanged(true);
        stores.rules.SetChanged(true);
        SaveProfile(path_, true, stores.get());
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20 + random() % 200));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));

    const Snapshot now = Take();
    EXPECT_TRUE(now.main == state_a.main || now.main == state_b.main) << round;
    EXPECT_TRUE(now.aliases == state_a.aliases || now.aliases == state_b.aliases) << round;
    EXPECT_TRUE(now.rules == state_a.rules || now.rules == state_b.rules) << round;
    ExpectLoadable(600, 2000);
    // A temporary file left by the kill shows the kill landed inside a write.
    for (const auto& entry : fs::directory_iterator(directory_)) {
      if (entry.path().extension() == ".tmp") {
        ++killed_mid_save;
        fs::remove(entry.path());
      }
    }
  }
  // How often the kill landed inside a write depends on the machine, so it is only reported.
  RecordProperty("kills_inside_a_write", killed_mid_save);
}

}  // namespace
}  // namespace kestrel
