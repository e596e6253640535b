// The RM100 source on a real serial line: a pair of pseudo terminals joined by socat, the program
// on one end and the test writing the receiver's bytes into the other.
#include <gtest/gtest.h>
#include <termios.h>

#include <QCoreApplication>
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "acquisition/serial_harness.h"
#include "app/acquisition/serial_port_sources.h"
#include "mdcgen/signal.h"
#include "support/pty_pair.h"

namespace kestrel {
namespace {

using kestrel_test::kUnableToDecode;
using kestrel_test::PtyPair;
using kestrel_test::SerialHarness;

constexpr char kOverrun[] = "COM port buffer overrun detected.";
constexpr size_t kPollBytes = 960;  // what 250 ms bring at 38400 bits per second
constexpr qsizetype kPiece = SerialPortSources::kRM100Piece;

std::vector<uint8_t> Zeros(size_t count) { return std::vector<uint8_t>(count, 0); }

class RM100PortTest : public testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = PtyPair::MissingReason(); !why.empty()) GTEST_SKIP() << why;
    kestrel_test::MakeApplication();
    pair_.emplace();
    ASSERT_EQ(pair_->problem(), "");
    h_.settings.COMPortName = pair_->near_end();
  }

  void Start() {
    h_.monitoring.StartMonitoring();
    ASSERT_TRUE(h_.boxes.shown.empty()) << h_.boxes.shown[0].text;
    ASSERT_TRUE(h_.serial.Port().isOpen());
  }

  // Sends `bytes` down the line and lets the port collect them until `waiting` bytes are there
  // for the next poll. The limit only keeps a broken line from hanging the test.
  bool Send(std::span<const uint8_t> bytes, qint64 waiting) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    size_t sent = 0;
    while (sent < bytes.size() || h_.serial.BytesWaiting() < waiting) {
      if (std::chrono::steady_clock::now() > limit) return false;
      sent += pair_->WriteSome(bytes.subspan(sent));
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return h_.serial.BytesWaiting() == waiting;
  }
  bool Send(std::span<const uint8_t> bytes) {
    return Send(bytes, h_.serial.BytesWaiting() + qint64(bytes.size()));
  }

  // Polls as the timer would, with one poll's worth of the stream before each.
  void Stream(const std::vector<uint8_t>& bytes) {
    for (size_t at = 0; at < bytes.size(); at += kPollBytes) {
      const auto piece = std::span(bytes).subspan(at, std::min(kPollBytes, bytes.size() - at));
      ASSERT_TRUE(Send(piece));
      h_.monitoring.Timer_Timer();
    }
  }

  // Empty polls until the warm-up count is `count`.
  void WarmUpTo(int count) {
    while (h_.acquisition.WarmUpCount() < count) h_.monitoring.Timer_Timer();
  }

  std::optional<PtyPair> pair_;
  SerialHarness h_{kCOMPortDeviceRM100};
};

TEST_F(RM100PortTest, OpensTheNamedPortAt38400EightNoneOneWithoutFlowControl) {
  Start();
  EXPECT_TRUE(h_.acquisition.DeviceOpen());
  EXPECT_EQ(h_.acquisition.WarmUpCount(), 0);
  EXPECT_EQ(h_.serial.Port().readBufferSize(), 30720);
  // The line as the system has it, not as the port object remembers it.
  termios line{};
  ASSERT_EQ(tcgetattr(int(h_.serial.Port().handle()), &line), 0);
  EXPECT_EQ(cfgetispeed(&line), speed_t(B38400));
  EXPECT_EQ(cfgetospeed(&line), speed_t(B38400));
  EXPECT_EQ(line.c_cflag & CSIZE, tcflag_t(CS8));
  EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF), 0u);
  EXPECT_TRUE(h_.view.timer);
  EXPECT_TRUE(h_.view.analyze);
  EXPECT_EQ(h_.view.panels[1], "Monitoring");
  EXPECT_TRUE(h_.settings.Monitoring);

  h_.monitoring.StopMonitoring();
  EXPECT_FALSE(h_.serial.Port().isOpen());
  EXPECT_FALSE(h_.acquisition.DeviceOpen());
  EXPECT_FALSE(h_.view.analyze);
}

struct PolarityCase {
  const char* name;
  bool reversed;
  bool inverted;
  bool decodes;
};

class RM100PolarityTest : public RM100PortTest, public testing::WithParamInterface<PolarityCase> {};

TEST_P(RM100PolarityTest, AStreamDecodesToTheRecordsSent) {
  h_.settings.COMPortReversePolarity = GetParam().reversed;
  Start();
  EXPECT_EQ(h_.acquisition.AboveSymbol(), GetParam().reversed ? '0' : '1');
  const std::vector<std::string> records = kestrel_test::SampleRecords();
  mdcgen::SignalOptions options;
  options.invert = GetParam().inverted;
  options.snr_db = 20;
  // The decoder spends its first call after an open finding its threshold, so the receiver's
  // noise comes first for longer than two polls.
  Stream(mdcgen::RenderRm100(kestrel_test::Transmissions(records, 1.0), options));
  if (!GetParam().decodes) {
    EXPECT_TRUE(h_.network.forwarded.empty());
    return;
  }
  EXPECT_EQ(kestrel_test::Joined(h_.network.forwarded), kestrel_test::Joined(records));
  ASSERT_EQ(h_.main.terminal_rows.size(), 3u);
  EXPECT_EQ(h_.main.terminal_rows[1].first, "0042");
  EXPECT_EQ(h_.view.panels[2], "Errors: " + h_.acquisition.ErrorText());
}

INSTANTIATE_TEST_SUITE_P(
    Polarities, RM100PolarityTest,
    testing::Values(PolarityCase{"Plain", false, false, true},
                    PolarityCase{"ReversedForAnInvertedSignal", true, true, true},
                    PolarityCase{"InvertedWithoutReversal", false, true, false}),
    [](const testing::TestParamInfo<PolarityCase>& info) { return std::string(info.param.name); });

TEST_F(RM100PortTest, AnEmptyPollCallsNoDecoderAndShowsNothing) {
  Start();
  h_.acquisition.RequestCapture();
  for (int poll = 1; poll <= 12; ++poll) h_.monitoring.Timer_Timer();
  // A decoder call would have taken the capture.
  EXPECT_TRUE(h_.acquisition.CaptureRequested());
  EXPECT_EQ(h_.view.captures, 0);
  EXPECT_EQ(h_.view.panel_history, std::vector<std::string>{"Monitoring"});
  EXPECT_EQ(h_.acquisition.WarmUpCount(), 10);  // empty polls still count
  EXPECT_FALSE(h_.serial.PortResetDone());

  // With bytes the decoder runs and the capture is shown.
  ASSERT_TRUE(Send(Zeros(kPollBytes)));
  h_.monitoring.Timer_Timer();
  EXPECT_FALSE(h_.acquisition.CaptureRequested());
  EXPECT_EQ(h_.view.captures, 1);
}

TEST_F(RM100PortTest, TheFirstFailedBlockReopensThePortSilentlyAndTheNextIsReported) {
  Start();
  // Before the warm-up is full, undecodable input is not held against the receiver.
  WarmUpTo(8);
  ASSERT_TRUE(Send(Zeros(kPollBytes)));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.acquisition.WarmUpCount(), 9);
  EXPECT_FALSE(h_.serial.PortResetDone());

  ASSERT_TRUE(Send(Zeros(kPollBytes)));
  h_.monitoring.Timer_Timer();
  EXPECT_TRUE(h_.serial.PortResetDone());
  EXPECT_TRUE(h_.serial.Port().isOpen());
  EXPECT_EQ(h_.PanelCount(kUnableToDecode), 0);
  EXPECT_TRUE(h_.boxes.shown.empty());

  // The reopened port receives, and the next failed block is reported.
  ASSERT_TRUE(Send(Zeros(kPollBytes)));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.view.panels[1], kUnableToDecode);
  EXPECT_EQ(h_.PanelCount(kUnableToDecode), 1);
  EXPECT_TRUE(h_.serial.Port().isOpen());

  // The reset lasts: a stop and a new start do not bring it back.
  h_.monitoring.StopMonitoring();
  Start();
  WarmUpTo(9);
  ASSERT_TRUE(Send(Zeros(kPollBytes)));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.PanelCount(kUnableToDecode), 2);
}

// A late poll takes everything waiting and decodes it in pieces that fit the work buffer; each
// piece is one decoder call, so each undecodable piece is one report.
TEST_F(RM100PortTest, ALatePollDecodesEverythingInPieces) {
  Start();
  WarmUpTo(9);
  ASSERT_TRUE(Send(Zeros(kPollBytes)));
  h_.monitoring.Timer_Timer();
  ASSERT_TRUE(h_.serial.PortResetDone());

  ASSERT_TRUE(Send(Zeros(size_t(kPiece))));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.PanelCount(kUnableToDecode), 1);
  ASSERT_TRUE(Send(Zeros(size_t(kPiece) + 1)));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.PanelCount(kUnableToDecode), 3);
  EXPECT_EQ(h_.serial.BytesWaiting(), 0);

  // Records across several pieces, all in one poll: none is lost. After the undecodable input the
  // decoder searches its threshold afresh and may take up to two calls to find it, so the
  // receiver's noise fills the first two pieces.
  std::vector<std::string> records;
  for (int i = 0; i < 2; ++i) {
    for (const std::string& record : kestrel_test::SampleRecords())
      records.push_back(record + char('0' + i));
  }
  mdcgen::SignalOptions noisy;
  noisy.snr_db = 20;
  const double lead = 2.0 * double(kPiece) * 8 / SerialPortSources::kRM100SampleRate + 0.2;
  const std::vector<uint8_t> stream =
      mdcgen::RenderRm100(kestrel_test::Transmissions(records, lead), noisy);
  ASSERT_GT(qsizetype(stream.size()), 3 * kPiece);
  h_.network.forwarded.clear();
  ASSERT_LT(qint64(stream.size()), SerialPortSources::kReceiveBufferSize);
  ASSERT_TRUE(Send(stream));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(kestrel_test::Joined(h_.network.forwarded), kestrel_test::Joined(records));
}

// The port stops taking data once its buffer is full; a poll that finds it full reports it.
TEST_F(RM100PortTest, AFullReceiveBufferIsReportedAsAnOverrun) {
  Start();
  const qint64 full = SerialPortSources::kReceiveBufferSize;
  ASSERT_TRUE(Send(Zeros(size_t(full - 1))));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.PanelCount(kOverrun), 0);
  EXPECT_EQ(h_.serial.BytesWaiting(), 0);

  // More than fits: the buffer fills and the rest waits on the line.
  ASSERT_TRUE(Send(Zeros(size_t(full + 500)), full));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.PanelCount(kOverrun), 1);
  EXPECT_EQ(h_.view.panels[1], kOverrun);
  // The rest arrives for the next poll, which finds no overrun.
  ASSERT_TRUE(Send({}, 500));
  h_.monitoring.Timer_Timer();
  EXPECT_EQ(h_.PanelCount(kOverrun), 1);
}

// A port that goes away (the adapter pulled out) is reported once and closed.
TEST_F(RM100PortTest, APortThatGoesAwayIsReportedOnce) {
  Start();
  pair_.reset();
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (h_.serial.Port().error() == QSerialPort::NoError &&
         std::chrono::steady_clock::now() < limit) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  h_.monitoring.Timer_Timer();
  h_.monitoring.Timer_Timer();
  ASSERT_EQ(h_.boxes.shown.size(), 1u);
  EXPECT_NE(h_.boxes.shown[0].text.find("An error occured in Timer_Timer."), std::string::npos)
      << h_.boxes.shown[0].text;
  EXPECT_NE(h_.boxes.shown[0].text.find(h_.settings.COMPortName), std::string::npos);
  EXPECT_FALSE(h_.serial.Port().isOpen());
  // Stopping still works.
  h_.monitoring.StopMonitoring();
  EXPECT_FALSE(h_.settings.Monitoring);
}

}  // namespace
}  // namespace kestrel
