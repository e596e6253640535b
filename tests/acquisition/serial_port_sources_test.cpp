#include "app/acquisition/serial_port_sources.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "acquisition/serial_harness.h"
#include "decoder/edge_timer_device.h"
#include "decoder/replay_slicer_device.h"
#include "decoder/slicer_device.h"
#include "mdcgen/signal.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

using kestrel_test::kUnableToDecode;
using kestrel_test::SerialHarness;

constexpr int32_t kRing = 1024;
constexpr uint16_t kOneBit = 249;  // ticks: one bit period at 4800 bits per second

// The slicer driver as the tests play it: recorded periods, a link request that is remembered,
// and an open or link that fails when told to.
class ScriptedSlicer : public sieve::ReplaySlicerDevice {
 public:
  ScriptedSlicer() : ReplaySlicerDevice(kRing) {}
  bool Open() override { return opens; }
  bool Control(int32_t code, const sieve::SlicerLinkRequest& request,
               sieve::SlicerLinkReply& reply) override {
    last_request = request;
    return links && ReplaySlicerDevice::Control(code, request, reply);
  }
  void Close() override { ++closes; }

  // Periods of one bit each, the line changing every time: nothing a frame could start from.
  void StoreIdle(int count) {
    for (int i = 0; i < count; ++i)
      Store(kOneBit, uint8_t(sieve::kStatusCtsChanged | (i % 2 ? sieve::kStatusCts : 0)));
  }

  bool opens = true;
  bool links = true;
  int closes = 0;
  sieve::SlicerLinkRequest last_request;
};

// One driver for the process, as the real one is: the decoder's read index outlives every link.
ScriptedSlicer& Slicer() {
  static auto* slicer = new ScriptedSlicer();
  return *slicer;
}

class SlicerTest : public testing::Test {
 protected:
  void SetUp() override {
    // Registered before anything links, so no test ever reaches a real serial port.
    sieve::RegisterSlicerDevice(sieve::kSlicerDeviceName, &Slicer());
    Slicer().opens = true;
    Slicer().links = true;
    Slicer().closes = 0;
    unsetenv(SIEVE_SLICER_PORT_VARIABLE);
  }
  void TearDown() override {
    UninstallSlicerDriver();
    unsetenv(SIEVE_SLICER_PORT_VARIABLE);
  }

  // Starts monitoring the slicer and takes whatever earlier tests left in the ring.
  void Start() {
    h_.monitoring.StartMonitoring();
    ASSERT_TRUE(h_.boxes.shown.empty());
    ASSERT_TRUE(h_.acquisition.DeviceOpen());
    ASSERT_EQ(h_.view.panels[1], "Monitoring");
    h_.monitoring.Timer_Timer();
    h_.view.panel_history.clear();
    h_.network.forwarded.clear();
  }

  // Plays a recording through the ring in pieces the ring can hold, polling after each.
  void Play(const std::vector<mdcgen::SlicerEntry>& entries) {
    for (size_t i = 0; i < entries.size(); ++i) {
      Slicer().Store(entries[i].duration, entries[i].status);
      if ((i + 1) % 600 == 0) h_.monitoring.Timer_Timer();
    }
    h_.monitoring.Timer_Timer();
  }

  SerialHarness h_{kCOMPortDeviceSlicer};
};

TEST_F(SlicerTest, RecordedEdgesDecodeToTheRecordsSent) {
  Start();
  EXPECT_TRUE(h_.view.timer);
  EXPECT_FALSE(h_.view.analyze);  // no signal capture from the slicer
  EXPECT_TRUE(h_.program.settings.Monitoring);
  const std::vector<std::string> records = kestrel_test::SampleRecords();
  Play(mdcgen::RenderSlicer(kestrel_test::Transmissions(records), {}));
  EXPECT_EQ(kestrel_test::Joined(h_.network.forwarded), kestrel_test::Joined(records));
  ASSERT_EQ(h_.main.terminal_rows.size(), 3u);
  EXPECT_EQ(h_.main.terminal_rows[0].first, "1234");
  EXPECT_EQ(h_.view.panels[2], "Errors: " + h_.acquisition.ErrorText());
}

// An inverted slicer needs reversed polarity, and then a high line is a one.
TEST_F(SlicerTest, ReversedPolarityDecodesAnInvertedSlicer) {
  h_.settings.COMPortReversePolarity = true;
  Start();
  EXPECT_EQ(h_.acquisition.AboveSymbol(), '0');
  EXPECT_EQ(h_.acquisition.BelowSymbol(), '1');
  const std::vector<std::string> records = kestrel_test::SampleRecords();
  mdcgen::SignalOptions inverted;
  inverted.invert = true;
  Play(mdcgen::RenderSlicer(kestrel_test::Transmissions(records), inverted));
  EXPECT_EQ(kestrel_test::Joined(h_.network.forwarded), kestrel_test::Joined(records));

  // Without the reversal, the same signal yields nothing.
  h_.settings.COMPortReversePolarity = false;
  h_.monitoring.StopMonitoring();
  h_.network.forwarded.clear();
  Start();
  Play(mdcgen::RenderSlicer(kestrel_test::Transmissions(records), inverted));
  EXPECT_TRUE(h_.network.forwarded.empty());
}

struct PendingCase {
  int pending;
  bool reported;
};

class SlicerPendingTest : public SlicerTest, public testing::WithParamInterface<PendingCase> {};

// Few edges since the last poll and nothing decoded: the data source looks wrong. Many edges, or a
// ring that wrapped (negative pending), mean the slicer is at least delivering.
TEST_P(SlicerPendingTest, NothingDecodedIsReportedOnlyForFewPendingEntries) {
  Start();
  ScriptedSlicer& slicer = Slicer();
  if (slicer.write_index() == 0) {  // a wrap to -1 needs a read index above 0
    slicer.StoreIdle(1);
    h_.monitoring.Timer_Timer();
    h_.view.panel_history.clear();
  }
  const int pending = GetParam().pending;
  slicer.StoreIdle(pending >= 0 ? pending : kRing + pending);
  h_.monitoring.Timer_Timer();
  EXPECT_TRUE(h_.network.forwarded.empty());
  EXPECT_EQ(h_.PanelCount(kUnableToDecode), GetParam().reported ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, SlicerPendingTest,
                         testing::Values(PendingCase{0, true}, PendingCase{50, true},
                                         PendingCase{99, true}, PendingCase{100, false},
                                         PendingCase{150, false}, PendingCase{-1, false}),
                         [](const testing::TestParamInfo<PendingCase>& info) {
                           const int p = info.param.pending;
                           return p < 0 ? "Minus" + std::to_string(-p) : std::to_string(p);
                         });

TEST_F(SlicerTest, APollWhileMonitoringIsOffLeavesTheRingAlone) {
  Start();
  Slicer().StoreIdle(150);
  h_.settings.Monitoring = false;
  h_.monitoring.Timer_Timer();
  EXPECT_TRUE(h_.view.panel_history.empty());
  // The entries are still there: 150 pending, so nothing is reported.
  h_.settings.Monitoring = true;
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.PanelCount(kUnableToDecode), 0);
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.PanelCount(kUnableToDecode), 1);
}

struct PortNumberCase {
  int setting;
  int kept;
  int32_t irq;
  int32_t base_address;
};

class SlicerPortNumberTest : public SlicerTest,
                             public testing::WithParamInterface<PortNumberCase> {};

TEST_P(SlicerPortNumberTest, NumbersBelowOneBecomeZeroAndTheFirstPort) {
  h_.settings.COMPortNumber = GetParam().setting;
  ASSERT_TRUE(h_.serial.LoadSlicer(h_.acquisition));
  EXPECT_EQ(h_.settings.COMPortNumber, GetParam().kept);
  EXPECT_EQ(Slicer().last_request.irq, GetParam().irq);
  EXPECT_EQ(Slicer().last_request.base_address, GetParam().base_address);
  EXPECT_TRUE(h_.acquisition.DeviceOpen());
  EXPECT_TRUE(h_.serial.UnloadSlicer(h_.acquisition));
  EXPECT_FALSE(h_.acquisition.DeviceOpen());
  EXPECT_EQ(Slicer().closes, 1);
}

INSTANTIATE_TEST_SUITE_P(Numbers, SlicerPortNumberTest,
                         testing::Values(PortNumberCase{-3, 0, 4, 0x3F8},
                                         PortNumberCase{0, 0, 4, 0x3F8},
                                         PortNumberCase{1, 1, 4, 0x3F8},
                                         PortNumberCase{2, 2, 3, 0x2F8}),
                         [](const testing::TestParamInfo<PortNumberCase>& info) {
                           const int n = info.param.setting;
                           return n < 0 ? "Minus" + std::to_string(-n) : std::to_string(n);
                         });

TEST_F(SlicerTest, AFailedInstallShowsTheDriversReason) {
  Slicer().opens = false;
  h_.monitoring.StartMonitoring();
  ASSERT_EQ(h_.boxes.shown.size(), 1u);
  EXPECT_EQ(h_.boxes.shown[0].text,
            "Error loading data slicer VxD.\r\n\r\nError loading slicer.vxd.");
  EXPECT_EQ(h_.boxes.shown[0].title, "Kestrel");
  EXPECT_EQ(h_.boxes.shown[0].icon, MessageBoxes::Icon::kStop);
  EXPECT_EQ(h_.boxes.shown[0].buttons, MessageBoxes::Buttons::kOk);
  EXPECT_FALSE(h_.acquisition.DeviceOpen());
  EXPECT_FALSE(h_.program.settings.Monitoring);
  EXPECT_FALSE(h_.view.timer);

  Slicer().opens = true;
  Slicer().links = false;
  EXPECT_FALSE(h_.serial.LoadSlicer(h_.acquisition));
  ASSERT_EQ(h_.boxes.shown.size(), 2u);
  EXPECT_EQ(h_.boxes.shown[1].text,
            "Error loading data slicer VxD.\r\n\r\nUnknown error from VxD.");
  EXPECT_FALSE(h_.acquisition.DeviceOpen());
}

// The edge timer watches the named device instead of the numbered port. Its opener is a fake, so
// nothing is opened; a refused open shows as a refused link.
TEST_F(SlicerTest, ANamedPortIsTheDeviceTheEdgeTimerWatches) {
  static std::vector<std::string> opened;
  static auto* timer =
      new sieve::EdgeTimerDevice([](const std::string& path) -> std::unique_ptr<sieve::ModemLines> {
        opened.push_back(path);
        return nullptr;
      });
  sieve::RegisterSlicerDevice(sieve::kSlicerDeviceName, timer);
  opened.clear();
  h_.settings.COMPortNumber = 2;
  h_.settings.COMPortName = "/dev/ttyUSB7";
  EXPECT_FALSE(h_.serial.LoadSlicer(h_.acquisition));
  h_.settings.COMPortName = "ttyACM3";
  EXPECT_FALSE(h_.serial.LoadSlicer(h_.acquisition));
  h_.settings.COMPortName = "";
  EXPECT_FALSE(h_.serial.LoadSlicer(h_.acquisition));
  EXPECT_EQ(opened, (std::vector<std::string>{"/dev/ttyUSB7", "/dev/ttyACM3", "/dev/ttyS1"}));
  EXPECT_EQ(getenv(SIEVE_SLICER_PORT_VARIABLE), nullptr);
  ASSERT_EQ(h_.boxes.shown.size(), 3u);
  EXPECT_EQ(h_.boxes.shown[0].text,
            "Error loading data slicer VxD.\r\n\r\nUnknown error from VxD.");
}

TEST_F(SlicerTest, TheSlicerIsSupportedHere) { EXPECT_TRUE(h_.serial.SlicerSupported()); }

struct PathCase {
  std::string name;
  int number;
  std::string path;
};

class SerialDevicePathTest : public testing::TestWithParam<PathCase> {};

TEST_P(SerialDevicePathTest, ANameWinsOverTheNumber) {
  Settings settings;
  settings.COMPortName = GetParam().name;
  settings.COMPortNumber = GetParam().number;
  EXPECT_EQ(SerialDevicePath(settings), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(Settings, SerialDevicePathTest,
                         testing::Values(PathCase{"", 1, "/dev/ttyS0"},
                                         PathCase{"", 4, "/dev/ttyS3"},
                                         PathCase{"", 12, "/dev/ttyS11"}, PathCase{"", 0, ""},
                                         PathCase{"", -1, ""},
                                         PathCase{"/dev/ttyUSB0", 1, "/dev/ttyUSB0"},
                                         PathCase{"ttyACM0", 0, "/dev/ttyACM0"},
                                         PathCase{"serial/by-id/x", 2, "serial/by-id/x"}));

// A port that is not there: the open answers false and leaves everything closed; monitoring names
// the port by its path.
TEST(RM100PortTest, APortThatCannotBeOpenedAnswersFalse) {
  kestrel_test::ScratchDirectory scratch;
  SerialHarness h(kCOMPortDeviceRM100);
  h.settings.COMPortName = scratch.Path("missing");
  EXPECT_FALSE(h.serial.OpenRM100Port(h.acquisition));
  EXPECT_FALSE(h.acquisition.DeviceOpen());
  EXPECT_FALSE(h.serial.Port().isOpen());
  h.serial.ProcessRM100Data(h.acquisition);  // a poll of a closed port does nothing
  EXPECT_EQ(h.acquisition.WarmUpCount(), 0);

  h.monitoring.StartMonitoring();
  ASSERT_EQ(h.boxes.shown.size(), 1u);
  EXPECT_EQ(h.boxes.shown[0].text, "An error occured while attempting to port " +
                                       scratch.Path("missing") +
                                       ".\r\n\r\nThe port may be in use by another application.");
  EXPECT_FALSE(h.settings.Monitoring);

  // No name and no port number: nothing to open.
  SerialHarness unnamed(kCOMPortDeviceRM100);
  unnamed.settings.COMPortNumber = 0;
  EXPECT_FALSE(unnamed.serial.OpenRM100Port(unnamed.acquisition));
}

}  // namespace
}  // namespace kestrel
