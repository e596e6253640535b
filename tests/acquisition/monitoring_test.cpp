#include "app/acquisition/monitoring.h"

#include <gtest/gtest.h>

#include <memory>

#include "app/platform/text_window.h"
#include "app/ui/program.h"
#include "mdcgen/signal.h"
#include "support/fake_acquisition.h"
#include "support/fake_main_view.h"
#include "support/records.h"

namespace kestrel {
namespace {

using kestrel_test::FakeAudioInput;
using kestrel_test::FakeFeedNetwork;
using kestrel_test::FakeMonitoringView;

// The program's stores with fakes for every window, device and the feed.
struct Harness {
  kestrel_test::FakeMainView main;
  FakeMonitoringView view;
  kestrel_test::SilentAlert alert;
  kestrel_test::SilentSound sound;
  PlainTextWindow mdt;
  RecordingMessageBoxes boxes;
  ManualClock clock;
  FakeAudioInput audio;
  kestrel_test::NoMail mail;
  FakeFeedNetwork network;
  NoSerialSources serial;
  Program program{
      {main, view, alert, sound, mdt, boxes, clock, audio, network, serial, mail, nullptr}};
  Acquisition& acquisition = program.acquisition;
  Monitoring& monitoring = program.monitoring;

  Harness() { main.selected_terminal = "<all>"; }
};

// A recording of `records` (each one frame), decodable at 44100 Hz.
std::vector<uint8_t> Signal(const std::vector<std::string>& records) {
  std::vector<mdcgen::Transmission> transmissions;
  for (const std::string& record : records)
    transmissions.push_back({mdcgen::Bytes(record.begin(), record.end()), 0.3});
  const mdcgen::Timeline timeline = mdcgen::ComposeTimeline(transmissions, 0.5);
  mdcgen::SignalOptions options;
  options.snr_db = 20;
  return mdcgen::RenderPcm(timeline, options, 44100);
}

TEST(MonitoringTest, StartingTheSoundCardSetsEveryWindowElement) {
  Harness h;
  h.program.settings.Monitoring = false;
  h.network.clients = 2;
  h.monitoring.StartMonitoring();
  EXPECT_TRUE(h.audio.open);
  EXPECT_TRUE(h.view.timer);
  EXPECT_FALSE(h.view.play);
  EXPECT_TRUE(h.view.stop);
  EXPECT_EQ(h.view.panels[1], "Monitoring");
  EXPECT_TRUE(h.view.monitor_checked);
  EXPECT_TRUE(h.view.analyze);
  EXPECT_TRUE(h.view.reverse);
  EXPECT_TRUE(h.view.network);
  EXPECT_EQ(h.view.network_tip, "2 clients connected");
  EXPECT_TRUE(h.program.settings.Monitoring);
  EXPECT_EQ(h.network.listens, 1);
  EXPECT_TRUE(h.acquisition.DeviceOpen());
}

TEST(MonitoringTest, NoClientsDisablesTheNetworkButtonAndListenOffListensNot) {
  Harness h;
  h.program.settings.Listen = false;
  h.monitoring.StartMonitoring();
  EXPECT_FALSE(h.view.network);
  EXPECT_EQ(h.view.network_tip, "0 clients connected");
  EXPECT_EQ(h.network.listens, 0);
}

TEST(MonitoringTest, SamplingRateZeroOpensAt44100AndIsStored) {
  Harness h;
  h.program.settings.SamplingRate = 0;
  h.monitoring.StartMonitoring();
  EXPECT_EQ(h.audio.opened_rate, 44100);
  EXPECT_EQ(h.program.settings.SamplingRate, 44100);

  Harness h2;
  h2.program.settings.SamplingRate = 22050;
  h2.monitoring.StartMonitoring();
  EXPECT_EQ(h2.audio.opened_rate, 22050);
}

TEST(MonitoringTest, ReversePolarityGivesTheDecoderSwappedSymbols) {
  Harness h;
  h.program.settings.ReversePolarity = true;
  h.monitoring.StartMonitoring();
  EXPECT_EQ(h.acquisition.AboveSymbol(), '0');
  EXPECT_EQ(h.acquisition.BelowSymbol(), '1');
  h.program.settings.ReversePolarity = false;
  h.monitoring.StopMonitoring();
  h.monitoring.StartMonitoring();
  EXPECT_EQ(h.acquisition.AboveSymbol(), '1');
}

struct OpenFailure {
  AudioOpenError error;
  std::string detail;
  std::string text;
  MessageBoxes::Icon icon;
};

class OpenFailureTest : public testing::TestWithParam<OpenFailure> {};

TEST_P(OpenFailureTest, ShowsItsMessageAndChangesNoWindowElement) {
  Harness h;
  h.audio.open_result = {GetParam().error, GetParam().detail};
  h.monitoring.StartMonitoring();
  ASSERT_EQ(h.boxes.shown.size(), 1u);
  EXPECT_EQ(h.boxes.shown[0].text, GetParam().text);
  EXPECT_EQ(h.boxes.shown[0].title, "Kestrel");
  EXPECT_EQ(h.boxes.shown[0].icon, GetParam().icon);
  EXPECT_FALSE(h.program.settings.Monitoring);
  EXPECT_FALSE(h.view.timer);
  EXPECT_TRUE(h.view.play);
  EXPECT_FALSE(h.view.monitor_checked);
  EXPECT_TRUE(h.view.panels.empty());
  EXPECT_FALSE(h.acquisition.DeviceOpen());
}

std::string OpenFailureName(const testing::TestParamInfo<OpenFailure>& info) {
  switch (info.param.error) {
    case AudioOpenError::kInUse:
      return "InUse";
    case AudioOpenError::kNoDriver:
      return "NoDriver";
    case AudioOpenError::kFormatNotSupported:
      return "FormatNotSupported";
    default:
      return "Other";
  }
}

INSTANTIATE_TEST_SUITE_P(
    AllCauses, OpenFailureTest,
    testing::Values(
        OpenFailure{AudioOpenError::kInUse, "",
                    "An error occured while attempting to open audio device.    The device appears "
                    "to already be in use.",
                    MessageBoxes::Icon::kNone},
        OpenFailure{AudioOpenError::kNoDriver, "",
                    "An error occured while attempting to open audio device.    No device driver "
                    "present.",
                    MessageBoxes::Icon::kNone},
        OpenFailure{AudioOpenError::kFormatNotSupported, "",
                    "An error occured while attempting to open audio device.    Audio format "
                    "requested by program not supported by audio device.",
                    MessageBoxes::Icon::kNone},
        OpenFailure{AudioOpenError::kOther, "The sound server refused the stream",
                    "An error occured while attempting to open audio device.  The audio device "
                    "may be in use by another application.  The sound server refused the stream.",
                    MessageBoxes::Icon::kStop}),
    OpenFailureName);

TEST(MonitoringTest, StoppingTheSoundCardResetsTheWindowAndTellsTheClients) {
  Harness h;
  h.monitoring.StartMonitoring();
  h.view.panels[2] = "Errors: 3";
  h.monitoring.StopMonitoring();
  EXPECT_FALSE(h.audio.open);
  EXPECT_FALSE(h.view.timer);
  EXPECT_TRUE(h.view.play);
  EXPECT_FALSE(h.view.stop);
  EXPECT_FALSE(h.view.analyze);
  EXPECT_FALSE(h.view.reverse);
  EXPECT_FALSE(h.view.monitor_checked);
  EXPECT_EQ(h.view.panels[1], "Not monitoring");
  EXPECT_EQ(h.view.panels[2], "");
  EXPECT_EQ(h.view.panels[3], "");
  EXPECT_EQ(h.network.sent, std::vector<std::string>{"SERVER NOT MONITORING"});
  EXPECT_EQ(h.network.stops, 1);
  EXPECT_FALSE(h.program.settings.Monitoring);
}

TEST(MonitoringTest, ARefusedCloseKeepsMonitoringAndTheWindowAsTheyWere) {
  Harness h;
  h.monitoring.StartMonitoring();
  h.audio.close_succeeds = false;
  h.monitoring.StopMonitoring();
  ASSERT_EQ(h.boxes.shown.size(), 1u);
  EXPECT_EQ(h.boxes.shown[0].text, "An error occured while attempting to close the audio device.");
  EXPECT_EQ(h.boxes.shown[0].icon, MessageBoxes::Icon::kStop);
  EXPECT_TRUE(h.program.settings.Monitoring);
  EXPECT_TRUE(h.view.timer);
  EXPECT_TRUE(h.view.monitor_checked);
  EXPECT_TRUE(h.network.sent.empty());
}

TEST(MonitoringTest, NetworkSourceStopsWithTheGivenStatus) {
  Harness h;
  h.program.settings.SieveSource = kSieveSourceNetwork;
  h.monitoring.StartMonitoring();
  EXPECT_FALSE(h.program.settings.Monitoring);  // the server could not be reached
  EXPECT_FALSE(h.view.net_timer);
  h.network.connect_succeeds = true;
  h.monitoring.StartMonitoring();
  EXPECT_TRUE(h.program.settings.Monitoring);
  EXPECT_TRUE(h.view.net_timer);
  EXPECT_TRUE(h.view.monitor_checked);
  h.monitoring.StopMonitoring("Connection to server lost.");
  EXPECT_EQ(h.view.panels[1], "Connection to server lost.");
  EXPECT_EQ(h.network.disconnects, 1);
  EXPECT_FALSE(h.view.network);
  EXPECT_EQ(h.view.network_tip, "Not connected to server");
  EXPECT_FALSE(h.program.settings.Monitoring);
  h.monitoring.StopMonitoring();
  EXPECT_EQ(h.view.panels[1], "Not monitoring");
}

TEST(MonitoringTest, AnRM100PortThatWillNotOpenNamesItsNumber) {
  Harness h;
  h.program.settings.SieveSource = kSieveSourceCOMPort;
  h.program.settings.COMPortDevice = kCOMPortDeviceRM100;
  h.program.settings.COMPortNumber = 3;
  h.monitoring.StartMonitoring();
  ASSERT_EQ(h.boxes.shown.size(), 1u);
  EXPECT_EQ(h.boxes.shown[0].text,
            "An error occured while attempting to port COM3.\r\n\r\nThe port may be in use by "
            "another application.");
  EXPECT_EQ(h.boxes.shown[0].icon, MessageBoxes::Icon::kStop);
  EXPECT_FALSE(h.program.settings.Monitoring);
}

TEST(MonitoringTest, AnRM100PortNamedByPathNamesThePathInstead) {
  Harness h;
  h.program.settings.SieveSource = kSieveSourceCOMPort;
  h.program.settings.COMPortDevice = kCOMPortDeviceRM100;
  h.program.settings.COMPortNumber = 3;
  h.program.settings.COMPortName = "/dev/ttyUSB0";
  h.monitoring.StartMonitoring();
  ASSERT_EQ(h.boxes.shown.size(), 1u);
  EXPECT_EQ(h.boxes.shown[0].text,
            "An error occured while attempting to port /dev/ttyUSB0.\r\n\r\nThe port may be in "
            "use by another application.");
  EXPECT_EQ(h.boxes.shown[0].title, "Kestrel");
  EXPECT_EQ(h.boxes.shown[0].icon, MessageBoxes::Icon::kStop);
  EXPECT_FALSE(h.program.settings.Monitoring);
}

TEST(MonitoringTest, APollFindingThreeBuffersTakesThemInOrderAcrossTheWrap) {
  Harness h;
  h.monitoring.StartMonitoring();
  h.audio.Fill(8);
  h.monitoring.Timer_Timer();
  EXPECT_EQ(h.acquisition.CurrentBuffer(), 8);
  EXPECT_EQ(h.acquisition.Buffers().Completed(), 0);
  h.audio.Fill(3);
  EXPECT_EQ(h.acquisition.Buffers().Completed(), 3);
  h.monitoring.Timer_Timer();
  EXPECT_EQ(h.acquisition.CurrentBuffer(), 1);  // 9, 10, 1
  EXPECT_EQ(h.acquisition.Buffers().Completed(), 0);
}

TEST(MonitoringTest, TenWaitingBuffersAreAnOverrunAndAreStillDecoded) {
  Harness h;
  h.monitoring.StartMonitoring();
  h.audio.Fill(9);
  h.monitoring.Timer_Timer();
  EXPECT_NE(h.view.panels[1], "Buffer overruns");
  h.audio.Fill(10);
  h.monitoring.Timer_Timer();
  EXPECT_EQ(h.view.panel_history.front(), "Monitoring");
  EXPECT_NE(std::find(h.view.panel_history.begin(), h.view.panel_history.end(), "Buffer overruns"),
            h.view.panel_history.end());
  EXPECT_EQ(h.acquisition.Buffers().Completed(), 0);
  EXPECT_EQ(h.acquisition.CurrentBuffer(), 9);
}

TEST(MonitoringTest, NothingDecodableIsReportedOnlyAfterTheWarmUp) {
  Harness h;
  h.monitoring.StartMonitoring();
  const std::string unable =
      "Unable to decode audio or no audio detected, check data source settings.";
  // Full-scale samples put the decoder's quality outside 25..75 from the first block on.
  for (int poll = 1; poll <= 9; ++poll) {
    h.audio.Fill(1, 0);
    h.monitoring.Timer_Timer();
    EXPECT_NE(h.view.panels[1], unable) << "poll " << poll;
  }
  h.audio.Fill(1, 0);
  h.monitoring.Timer_Timer();
  EXPECT_EQ(h.acquisition.WarmUpCount(), 10);
  EXPECT_EQ(h.view.panels[1], unable);
  // The status refresh replaces the passing text.
  h.monitoring.RefreshStatus(false);
  EXPECT_EQ(h.view.panels[1], "Monitoring");
  h.monitoring.RefreshStatus(true);
  EXPECT_EQ(h.view.panels[1], "Monitoring/Capturing");
}

TEST(MonitoringTest, DecodedRecordsReachTheTrafficTheFeedAndTheErrorPanel) {
  Harness h;
  h.monitoring.StartMonitoring();
  const std::string first = kestrel_test::Record(0x1234, true, "FIRST MESSAGE FOR UNIT");
  const std::string second = kestrel_test::Record(0x0042, true, "SECOND MESSAGE TEXT");
  const std::vector<uint8_t> signal = Signal({first, second});
  for (size_t at = 0; at < signal.size(); at += 3000) {
    h.audio.Write(std::span(signal).subspan(at, std::min<size_t>(3000, signal.size() - at)));
    h.monitoring.Timer_Timer();
  }
  h.audio.Fill(1, 128);
  h.monitoring.Timer_Timer();
  ASSERT_EQ(h.main.terminal_rows.size(), 2u);
  EXPECT_EQ(h.main.terminal_rows[0].first, "1234");
  EXPECT_EQ(h.main.terminal_rows[1].first, "0042");
  ASSERT_GE(h.network.forwarded.size(), 2u);
  EXPECT_EQ(h.view.panels[2], "Errors: " + h.acquisition.ErrorText());
  EXPECT_EQ(h.program.traffic.TerminalCount(), 2);
}

// A squelched receiver, quiet between the messages: the robust decoder keeps every message, the
// exact one loses some while it searches for a threshold in the quiet. The setting is read at
// every poll.
TEST(MonitoringTest, TheDecoderModeChoosesTheDecoder) {
  std::vector<mdcgen::Transmission> transmissions;
  for (int i = 0; i < 12; ++i) {
    const std::string record =
        kestrel_test::Record(uint16_t(0x1000 + i), true, "SQUELCHED MESSAGE " + std::to_string(i));
    transmissions.push_back({mdcgen::Bytes(record.begin(), record.end()), 0.3});
  }
  mdcgen::SignalOptions options;
  options.snr_db = 30;
  options.squelch = true;
  options.squelch_floor_db = 40;
  const std::vector<uint8_t> signal =
      mdcgen::RenderPcm(mdcgen::ComposeTimeline(transmissions, 1.0), options, 44100);
  auto terminals_heard = [&signal](int decoder_mode) {
    Harness h;
    h.program.settings.DecoderMode = decoder_mode;
    h.monitoring.StartMonitoring();
    for (size_t at = 0; at < signal.size(); at += 3000) {
      h.audio.Write(std::span(signal).subspan(at, std::min<size_t>(3000, signal.size() - at)));
      h.monitoring.Timer_Timer();
    }
    h.audio.Fill(2, 128);
    h.monitoring.Timer_Timer();
    return h.program.traffic.TerminalCount();
  };
  EXPECT_EQ(terminals_heard(kDecoderModeRobust), 12);
  EXPECT_LT(terminals_heard(kDecoderModeExact), 12);
}

TEST(MonitoringTest, AFinishedRecordingStopsMonitoringOnceEverythingIsDecoded) {
  Harness h;
  h.monitoring.StartMonitoring();
  h.audio.Fill(2);
  h.audio.finished = true;
  h.monitoring.Timer_Timer();
  EXPECT_FALSE(h.audio.open);
  EXPECT_EQ(h.view.panels[1], "Recording finished");
  EXPECT_FALSE(h.view.timer);
  EXPECT_TRUE(h.view.play);
  // The next status refresh leaves it there.
  h.monitoring.RefreshStatus(false);
  EXPECT_EQ(h.view.panels[1], "Recording finished");

  Harness failed;
  failed.monitoring.StartMonitoring();
  failed.audio.finished = true;
  failed.audio.error = "recording.wav: read error";
  failed.monitoring.Timer_Timer();
  EXPECT_EQ(failed.view.panels[1], "Recording failed: recording.wav: read error");
}

TEST(MonitoringTest, TheInputsNoteFollowsMonitoringInPanelOne) {
  Harness h;
  h.audio.note = R"(input "usb" not found, using "Built-in")";
  h.monitoring.StartMonitoring();
  EXPECT_EQ(h.view.panels[1], R"(Monitoring (input "usb" not found, using "Built-in"))");
  h.monitoring.RefreshStatus(false);
  EXPECT_EQ(h.view.panels[1], R"(Monitoring (input "usb" not found, using "Built-in"))");
}

TEST(MonitoringTest, StoppingEndsTheRulePrintJob) {
  struct CountingPrinter : Printer {
    bool PrintLine(std::string_view) override { return true; }
    void EndJob() override { ++ends; }
    int ends = 0;
  };
  CountingPrinter printer;
  kestrel_test::FakeMainView main;
  FakeMonitoringView view;
  kestrel_test::SilentAlert alert;
  kestrel_test::SilentSound sound;
  PlainTextWindow mdt;
  RecordingMessageBoxes boxes;
  ManualClock clock;
  FakeAudioInput audio;
  kestrel_test::NoMail mail;
  FakeFeedNetwork network;
  NoSerialSources serial;
  Program program(
      {main, view, alert, sound, mdt, boxes, clock, audio, network, serial, mail, &printer});
  Rule rule;
  rule.Name = "print";
  rule.Active = true;
  rule.SentTo = "*";
  rule.MessageBody = "*";
  rule.LogPrinter = true;
  program.rules.Append(rule);
  program.monitoring.StartMonitoring();
  program.processor.ProcessSieve(kestrel_test::Record(0x1234, true, "PRINT THIS MESSAGE"));
  ASSERT_TRUE(program.rule_processing.PrinterStarted());
  program.monitoring.StopMonitoring();
  EXPECT_EQ(printer.ends, 1);
  EXPECT_FALSE(program.rule_processing.PrinterStarted());
}

}  // namespace
}  // namespace kestrel
