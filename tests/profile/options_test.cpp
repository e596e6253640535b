#include "app/profile/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel {
namespace {

// Records the host calls in order, with the settings each call saw where it matters.
struct FakeHost : OptionsHost {
  explicit FakeHost(Settings& s) : settings(s) {}
  void ApplyAlwaysOnTop(bool on) override { calls.push_back(on ? "top on" : "top off"); }
  void StopMonitoring() override {
    calls.push_back("stop source " + std::to_string(settings.SieveSource));
    settings.Monitoring = false;
  }
  void StartMonitoring() override {
    calls.push_back("start source " + std::to_string(settings.SieveSource));
    settings.Monitoring = true;
  }
  void ApplyPolarity(bool reversed) override {
    calls.push_back(reversed ? "polarity reversed" : "polarity normal");
  }
  void ApplySettingsToWindows() override { calls.push_back("windows"); }
  void ApplyMdtFont() override { calls.push_back("font"); }

  Settings& settings;
  std::vector<std::string> calls;
};

class OptionsTest : public ::testing::Test {
 protected:
  ApplyResult Apply() { return ApplyOptions(values, settings, boxes, host); }

  Settings settings;
  OptionsValues values = LoadOptions(settings);
  RecordingMessageBoxes boxes;
  FakeHost host{settings};
};

TEST(NumericValueTest, ReadsTheLeadingNumber) {
  EXPECT_EQ(NumericValue(""), 0);
  EXPECT_EQ(NumericValue("abc"), 0);
  EXPECT_EQ(NumericValue("  42x"), 42);
  EXPECT_EQ(NumericValue("-5"), -5);
  EXPECT_EQ(NumericValue("2147483647"), 2147483647);
  EXPECT_EQ(NumericValue("2147483648"), 2147483647);
  EXPECT_EQ(NumericValue("99999999999999999999"), 2147483647);
}

TEST(COMPortTextTest, OnlyOneToFourHaveText) {
  EXPECT_EQ(COMPortText(0), "");
  EXPECT_EQ(COMPortText(1), "COM1");
  EXPECT_EQ(COMPortText(4), "COM4");
  EXPECT_EQ(COMPortText(5), "");
  EXPECT_EQ(COMPortNumberOf("COM3"), 3);
  EXPECT_EQ(COMPortNumberOf("COM"), 0);
  EXPECT_EQ(COMPortNumberOf(""), 0);
}

TEST_F(OptionsTest, LoadShowsTheSettings) {
  settings.ServerPort = 990;
  settings.SamplingRate = 0;
  settings.COMPortNumber = 7;
  settings.TerminalAddressStart = 5;
  const OptionsValues v = LoadOptions(settings);
  EXPECT_EQ(v.port, "990");
  EXPECT_EQ(v.sampling_rate, "44100");  // not chosen yet: what capture uses
  EXPECT_EQ(v.com_port, "");
  EXPECT_EQ(v.address_start, "5");
  EXPECT_EQ(v.cols, "40");
  EXPECT_EQ(v.mdt_foreground, 0x00FF00);
}

TEST_F(OptionsTest, ApplyWithoutChangesWritesNothingNewAndRestartsNothing) {
  const Settings before = settings;
  const ApplyResult r = Apply();
  EXPECT_TRUE(r.applied);
  EXPECT_FALSE(r.monitoring_restarted);
  EXPECT_FALSE(r.polarity_changed);
  EXPECT_TRUE(boxes.shown.empty());
  Settings expected = before;
  expected.SettingsChanged = true;
  EXPECT_EQ(settings, expected);  // SamplingRate stays 0 ("not chosen")
  EXPECT_EQ(host.calls, (std::vector<std::string>{"top off", "windows"}));
}

TEST_F(OptionsTest, StartByteAfterEndByteStopsAfterAlwaysOnTop) {
  values.address_start = "5";
  values.address_end = "4";
  values.always_on_top = true;
  values.smtp_mail_server = "mail.example";
  values.cols = "80";
  values.com_port = "COM2";
  const ApplyResult r = Apply();
  EXPECT_FALSE(r.applied);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text,
            "The starting byte for the destination terminal address cannot be greater than the "
            "ending byte.");
  EXPECT_EQ(boxes.shown[0].title, "Kestrel");
  EXPECT_EQ(boxes.shown[0].icon, MessageBoxes::Icon::kExclamation);
  EXPECT_TRUE(settings.SettingsChanged);
  EXPECT_TRUE(settings.AlwaysOnTop);
  EXPECT_EQ(settings.SMTPMailServer, "");
  EXPECT_EQ(settings.MDTColumns, 40);
  EXPECT_EQ(settings.COMPortNumber, 1);
  EXPECT_EQ(settings.TerminalAddressStart, 3);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"top on"}));
}

TEST_F(OptionsTest, EqualStartAndEndBytesPass) {
  values.address_start = "4";
  values.address_end = "4";
  EXPECT_TRUE(Apply().applied);
  EXPECT_EQ(settings.TerminalAddressStart, 4);
  EXPECT_EQ(settings.TerminalAddressEnd, 4);
}

TEST_F(OptionsTest, ColumnsBelowOneAreRefused) {
  for (const char* cols : {"0", "", "abc", "-3"}) {
    SCOPED_TRACE(cols);
    values.cols = cols;
    EXPECT_EQ(ValidateOptions(values), kColumnsMessage);
  }
  values.cols = "1";
  EXPECT_EQ(ValidateOptions(values), std::nullopt);
  values.cols = "0";
  EXPECT_FALSE(Apply().applied);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "The MDT display width should be greater than 0.");
}

TEST_F(OptionsTest, ColumnsAreCappedAtTheWidestDisplay) {
  values.cols = "99999";
  EXPECT_TRUE(Apply().applied);
  EXPECT_EQ(settings.MDTColumns, kMaxMDTColumns);
}

TEST_F(OptionsTest, AddressBytesAreCappedWhereAProfileLoadCapsThem) {
  values.address_start = "8192";
  values.address_end = "8193";
  EXPECT_TRUE(Apply().applied);
  EXPECT_EQ(settings.TerminalAddressStart, 8192);
  EXPECT_EQ(settings.TerminalAddressEnd, kMaxTerminalAddressByte);
}

TEST_F(OptionsTest, NetworkNeedsAddressAndPort) {
  values.source = kSieveSourceNetwork;
  values.address = "";
  values.port = "990";
  EXPECT_EQ(ValidateOptions(values), kNetworkMessage);
  values.address = "127.0.0.1";
  values.port = "";
  EXPECT_EQ(ValidateOptions(values), kNetworkMessage);
  values.port = "990";
  EXPECT_EQ(ValidateOptions(values), std::nullopt);
  // Another source does not need them.
  values.source = kSieveSourceSoundCard;
  values.address = "";
  EXPECT_EQ(ValidateOptions(values), std::nullopt);
}

TEST_F(OptionsTest, TheAddressCheckComesFirst) {
  values.address_start = "9";
  values.cols = "0";
  values.source = kSieveSourceNetwork;
  EXPECT_EQ(ValidateOptions(values), kAddressBytesMessage);
  values.address_start = "3";
  EXPECT_EQ(ValidateOptions(values), kColumnsMessage);
}

TEST_F(OptionsTest, AColourOnlyChangeDoesNotRestartMonitoring) {
  settings.Monitoring = true;
  values.messages_background = 0x123456;
  const ApplyResult r = Apply();
  EXPECT_TRUE(r.applied);
  EXPECT_FALSE(r.monitoring_restarted);
  EXPECT_EQ(settings.MessagesBackground, 0x123456);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"top off", "windows"}));
}

TEST_F(OptionsTest, AComPortChangeRestartsMonitoringAroundTheWrite) {
  settings.SieveSource = kSieveSourceCOMPort;
  settings.Monitoring = true;
  values = LoadOptions(settings);
  values.com_port = "COM2";
  const ApplyResult r = Apply();
  EXPECT_TRUE(r.monitoring_restarted);
  EXPECT_EQ(settings.COMPortNumber, 2);
  EXPECT_TRUE(settings.Monitoring);
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"top off", "windows", "stop source 3", "start source 3"}));
}

TEST_F(OptionsTest, ASourceChangeStopsTheOldSourceAndStartsTheNew) {
  settings.Monitoring = true;
  values.source = kSieveSourceNetwork;
  values.address = "127.0.0.1";
  Apply();
  EXPECT_EQ(settings.SieveSource, kSieveSourceNetwork);
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{"top off", "windows", "stop source 1", "start source 2"}));
}

TEST_F(OptionsTest, ADataSourceChangeWhileNotMonitoringOnlyWrites) {
  settings.Monitoring = false;
  values.com_port = "COM4";
  const ApplyResult r = Apply();
  EXPECT_FALSE(r.monitoring_restarted);
  EXPECT_EQ(settings.COMPortNumber, 4);
  EXPECT_FALSE(settings.Monitoring);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"top off", "windows"}));
}

TEST_F(OptionsTest, EachDataSourceControlCountsAsAChange) {
  const auto changed = [this](auto edit) {
    OptionsValues v = LoadOptions(settings);
    edit(v);
    return DataSourceChanged(v, settings);
  };
  EXPECT_FALSE(changed([](OptionsValues&) {}));
  EXPECT_TRUE(changed([](OptionsValues& v) { v.source = kSieveSourceCOMPort; }));
  EXPECT_TRUE(changed([](OptionsValues& v) { v.com_device = kCOMPortDeviceRM100; }));
  EXPECT_TRUE(changed([](OptionsValues& v) { v.com_port = "COM3"; }));
  EXPECT_TRUE(changed([](OptionsValues& v) { v.com_port_name = "/dev/ttyUSB0"; }));
  EXPECT_TRUE(changed([](OptionsValues& v) { v.address = "127.0.0.1"; }));
  EXPECT_TRUE(changed([](OptionsValues& v) { v.port = "991"; }));
  EXPECT_TRUE(changed([](OptionsValues& v) { v.sampling_rate = "22050"; }));
  EXPECT_TRUE(changed([](OptionsValues& v) { v.audio_input_device = "usb-mic"; }));
  EXPECT_FALSE(changed([](OptionsValues& v) { v.port = "0990"; }));  // same number
  EXPECT_FALSE(changed([](OptionsValues& v) { v.auto_reconnect = false; }));
  EXPECT_FALSE(changed([](OptionsValues& v) { v.polarity = true; }));
}

TEST_F(OptionsTest, ChosenDevicesAreWritten) {
  settings.Monitoring = true;
  values.audio_input_device = "usb-mic";
  values.com_port_name = "/dev/ttyUSB0";
  values.sampling_rate = "22050";
  EXPECT_TRUE(Apply().monitoring_restarted);
  EXPECT_EQ(settings.AudioInputDevice, "usb-mic");
  EXPECT_EQ(settings.COMPortName, "/dev/ttyUSB0");
  EXPECT_EQ(settings.SamplingRate, 22050);
}

TEST_F(OptionsTest, PortsBeyondTheRangeAreCapped) {
  values.port = "65535";
  Apply();
  EXPECT_EQ(settings.ServerPort, 65535);
  values.port = "65536";
  Apply();
  EXPECT_EQ(settings.ServerPort, 65535);
}

TEST_F(OptionsTest, PolarityOfTheSoundCardApplies) {
  values.polarity = true;
  const ApplyResult r = Apply();
  EXPECT_TRUE(r.polarity_changed);
  EXPECT_TRUE(settings.ReversePolarity);
  EXPECT_EQ(host.calls.back(), "polarity reversed");
}

TEST_F(OptionsTest, PolarityOfTheComPortAppliesAndWritesBoth) {
  settings.SieveSource = kSieveSourceCOMPort;
  settings.ReversePolarity = true;
  values = LoadOptions(settings);
  values.rm100_polarity = true;
  values.polarity = false;
  EXPECT_TRUE(Apply().polarity_changed);
  EXPECT_TRUE(settings.COMPortReversePolarity);
  EXPECT_FALSE(settings.ReversePolarity);
  EXPECT_EQ(host.calls.back(), "polarity reversed");
}

TEST_F(OptionsTest, PolarityOfAnInactiveSourceIsNotLookedAt) {
  values.rm100_polarity = true;  // the sound card is the source
  EXPECT_FALSE(Apply().polarity_changed);
  EXPECT_FALSE(settings.COMPortReversePolarity);
  settings.SieveSource = kSieveSourceNetwork;
  values = LoadOptions(settings);
  values.address = "127.0.0.1";
  values.polarity = true;
  EXPECT_FALSE(Apply().polarity_changed);
  EXPECT_FALSE(settings.ReversePolarity);
}

TEST_F(OptionsTest, DefaultsOfEachTab) {
  OptionsValues v = values;
  v.smtp_mail_server = "mail";
  v.auto_save = false;
  v.always_on_top = true;
  v.cols = "7";
  SetTabDefaults(OptionsTab::kGeneral, v, {});
  EXPECT_EQ(v.smtp_mail_server, "mail");
  EXPECT_TRUE(v.auto_save);
  EXPECT_FALSE(v.always_on_top);
  EXPECT_EQ(v.cols, "7");  // other tabs keep theirs

  v.cols = "7";
  v.number_messages = "9";
  v.mdt_foreground = 1;
  v.terminals_background = 2;
  SetTabDefaults(OptionsTab::kWindows, v, {});
  EXPECT_EQ(v.cols, "40");
  EXPECT_EQ(v.number_messages, "50");
  EXPECT_EQ(v.mdt_foreground, 65280);
  EXPECT_EQ(v.mdt_background, 0);
  EXPECT_EQ(v.terminals_background, 16777215);

  v.address_start = "1";
  v.address_end = "9";
  v.ignore_35 = true;
  SetTabDefaults(OptionsTab::kMdtData, v, {});
  EXPECT_EQ(v.address_start, "3");
  EXPECT_EQ(v.address_end, "4");
  EXPECT_FALSE(v.ignore_35);
}

TEST_F(OptionsTest, DataSourceDefaultsProposePort4800AndKeepTheAddress) {
  OptionsValues v = values;
  v.source = kSieveSourceNetwork;
  v.address = "192.0.2.1";
  v.port = "990";
  v.com_port = "COM3";
  v.rm100_polarity = true;
  v.polarity = true;
  v.sampling_rate = "22050";
  v.auto_reconnect = false;
  v.com_device = kCOMPortDeviceRM100;
  SetTabDefaults(OptionsTab::kDataSource, v, {.slicer_available = true});
  EXPECT_EQ(v.port, "4800");
  EXPECT_EQ(v.address, "192.0.2.1");
  EXPECT_EQ(v.com_port, "COM3");
  EXPECT_TRUE(v.rm100_polarity);
  EXPECT_FALSE(v.polarity);
  EXPECT_EQ(v.source, kSieveSourceSoundCard);
  EXPECT_EQ(v.sampling_rate, "44100");
  EXPECT_TRUE(v.auto_reconnect);
  EXPECT_EQ(v.com_device, kCOMPortDeviceSlicer);
  SetTabDefaults(OptionsTab::kDataSource, v, {.slicer_available = false});
  EXPECT_EQ(v.com_device, kCOMPortDeviceRM100);
}

TEST(DefaultMdtFontTest, PlainCourierNewNinePoints) {
  Settings s;
  s.MDTFontName = "Mono";
  s.MDTFontSize = 14;
  s.MDTFontBold = true;
  s.MDTFontItalic = true;
  DefaultMdtFont(s);
  EXPECT_EQ(s.MDTFontName, "Courier New");
  EXPECT_EQ(s.MDTFontSize, 9);
  EXPECT_FALSE(s.MDTFontBold);
  EXPECT_FALSE(s.MDTFontItalic);
  EXPECT_TRUE(s.SettingsChanged);
}

TEST(SourceControlsTest, EnablingFollowsTheSource) {
  const OptionsPlatform with_slicer{.slicer_available = true};
  const OptionsPlatform without{.slicer_available = false};
  SourceControls c = EnabledForSource(kSieveSourceSoundCard, with_slicer);
  EXPECT_TRUE(c.sound_card);
  EXPECT_FALSE(c.slicer_device || c.com_port);
  c = EnabledForSource(kSieveSourceNetwork, with_slicer);
  EXPECT_FALSE(c.sound_card || c.slicer_device || c.com_port);
  c = EnabledForSource(kSieveSourceCOMPort, with_slicer);
  EXPECT_TRUE(c.com_port && c.slicer_device);
  EXPECT_FALSE(c.sound_card);
  c = EnabledForSource(kSieveSourceCOMPort, without);
  EXPECT_TRUE(c.com_port);
  EXPECT_FALSE(c.slicer_device);
}

TEST(SourceControlsTest, WithoutASlicerTheComPortChoosesTheRm100) {
  OptionsValues v;
  v.com_device = kCOMPortDeviceSlicer;
  SelectSource(kSieveSourceCOMPort, v, {.slicer_available = false});
  EXPECT_EQ(v.com_device, kCOMPortDeviceRM100);
  v.com_device = kCOMPortDeviceSlicer;
  SelectSource(kSieveSourceCOMPort, v, {.slicer_available = true});
  EXPECT_EQ(v.com_device, kCOMPortDeviceSlicer);
  EXPECT_EQ(v.source, kSieveSourceCOMPort);
}

}  // namespace
}  // namespace kestrel
