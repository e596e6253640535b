#include "app/display/capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/display/raw_data.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using std::chrono::seconds;

const std::string kHeader("\x75\xC0\x12\x34\x01\x02\x03\x04\x05\x06\x07\x08", 12);
const std::string kTx = kHeader + "TX" + std::string("\x01\x02\x03\x04\x05", 5) + "HELLO\rWORLD";
const std::string kContinuation = kHeader + "MORE\x1b[2bTEXT";
const std::string kSeparator(40, '-');

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(CaptureBlockTest, HeaderBodyAndSeparator) {
  Settings settings;
  EXPECT_EQ(CaptureBlock(settings, "1234", "Car 7", kTx),
            "Terminal: 1234 (Car 7)\r\n\r\nHELLO\r\nWORLD\r\n\r\n" + kSeparator + "\r\n");
  EXPECT_EQ(CaptureBlock(settings, "1234", "", kContinuation),
            "Terminal: 1234\r\n\r\nMOREEETEXT\r\n\r\n" + kSeparator + "\r\n");
  settings.MDTColumns = 4;
  EXPECT_EQ(CaptureBlock(settings, "12", "", kContinuation),
            "Terminal: 12\r\n\r\nMORE\r\nEETE\r\nXT\r\n\r\n----\r\n");
}

TEST(CaptureBlockTest, ProposedFileNameIsTheLocalDate) {
  std::tm date{};
  date.tm_year = 2024 - 1900;
  date.tm_mon = 2;
  date.tm_mday = 5;
  date.tm_hour = 23;
  date.tm_min = 59;
  date.tm_isdst = -1;
  EXPECT_EQ(ProposedCaptureFileName(std::chrono::system_clock::from_time_t(std::mktime(&date))),
            "20240305");
}

class FakePrinter : public Printer {
 public:
  bool PrintLine(std::string_view text) override {
    lines.emplace_back(text);
    return works;
  }
  void EndJob() override { ++jobs_ended; }

  std::vector<std::string> lines;
  bool works = true;
  int jobs_ended = 0;
};

class CaptureWriterTest : public ::testing::Test {
 protected:
  CaptureWriterTest() {
    writer_.SetFailureHandler([this] { ++failures_; });
  }

  std::string Block(const std::string& record) {
    return CaptureBlock(settings_, "1234", "", record);
  }
  std::string Line(const std::string& record) { return Block(record) + "\r\n"; }
  std::string FailureText(int number) {
    return "Unable to write to capture file.\r\n\r\n" + std::to_string(number) + ": " +
           std::strerror(number);
  }

  Settings settings_;
  ManualClock clock_{std::chrono::system_clock::from_time_t(1700000000)};
  RecordingMessageBoxes boxes_;
  CaptureWriter writer_{settings_, clock_, boxes_};
  int failures_ = 0;
  kestrel_test::ScratchDirectory scratch_{"capture_test"};
  const fs::path dir_ = scratch_.path();
};

TEST_F(CaptureWriterTest, AppendsEachRecordAsOneLine) {
  const fs::path path = dir_ / "capture.txt";
  std::ofstream(path, std::ios::binary) << "earlier\r\n";
  ASSERT_TRUE(writer_.StartToFile(path.string()));
  writer_.Write("1234", "", kTx);
  // Every record is on disk as soon as it is written.
  EXPECT_EQ(ReadFile(path), "earlier\r\n" + Line(kTx));
  writer_.Write("1234", "", kContinuation);
  writer_.Stop();
  EXPECT_FALSE(writer_.On());
  writer_.Write("1234", "", kTx);
  EXPECT_EQ(ReadFile(path), "earlier\r\n" + Line(kTx) + Line(kContinuation));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(CaptureWriterTest, FileThatCannotBeOpened) {
  EXPECT_FALSE(writer_.StartToFile((dir_ / "missing" / "capture.txt").string()));
  EXPECT_FALSE(writer_.ToFile());
  EXPECT_FALSE(writer_.On());
}

TEST_F(CaptureWriterTest, ReopensOnceAMinute) {
  const fs::path path = dir_ / "capture.txt";
  const fs::path moved = dir_ / "moved.txt";
  ASSERT_TRUE(writer_.StartToFile(path.string()));
  writer_.Write("1234", "", kTx);  // starts the minute
  // Moving the file shows which writes still go to the open file and when it is opened anew.
  fs::rename(path, moved);
  clock_.Advance(seconds(59));
  writer_.Write("1234", "", kContinuation);
  EXPECT_FALSE(fs::exists(path));
  clock_.Advance(seconds(1));
  writer_.Write("1234", "", kContinuation);
  EXPECT_EQ(ReadFile(path), "");
  writer_.Write("1234", "", kTx);
  EXPECT_EQ(ReadFile(moved), Line(kTx) + Line(kContinuation) + Line(kContinuation));
  EXPECT_EQ(ReadFile(path), Line(kTx));
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(CaptureWriterTest, WriteFailureIsReportedOnceAndCaptureStaysOn) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no full device";
  FakePrinter printer;
  ASSERT_TRUE(writer_.StartToFile("/dev/full"));
  writer_.StartToPrinter(printer);
  writer_.Write("1234", "", kTx);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, FailureText(ENOSPC));
  EXPECT_EQ(boxes_.shown[0].title, "Error Capturing Data");
  EXPECT_EQ(boxes_.shown[0].icon, MessageBoxes::Icon::kExclamation);
  EXPECT_EQ(boxes_.shown[0].buttons, MessageBoxes::Buttons::kOk);
  EXPECT_EQ(failures_, 1);

  clock_.Advance(seconds(600));
  writer_.Write("1234", "", kContinuation);
  EXPECT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(writer_.ToFile());
  // The printer goes on with every record.
  EXPECT_EQ(printer.lines, (std::vector<std::string>{Block(kTx), Block(kContinuation)}));
  writer_.Stop();
  EXPECT_FALSE(writer_.On());
  EXPECT_EQ(printer.jobs_ended, 1);
}

TEST_F(CaptureWriterTest, ReopenFailureIsReported) {
  const fs::path path = dir_ / "capture.txt";
  ASSERT_TRUE(writer_.StartToFile(path.string()));
  writer_.Write("1234", "", kTx);
  fs::remove(path);
  fs::create_directory(path);
  clock_.Advance(seconds(61));
  writer_.Write("1234", "", kTx);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, FailureText(EISDIR));
  EXPECT_EQ(failures_, 1);
  clock_.Advance(seconds(61));
  writer_.Write("1234", "", kTx);
  EXPECT_EQ(boxes_.shown.size(), 1u);
}

TEST_F(CaptureWriterTest, PrinterFailureStopsPrintingNotTheFile) {
  const fs::path path = dir_ / "capture.txt";
  FakePrinter printer;
  printer.works = false;
  ASSERT_TRUE(writer_.StartToFile(path.string()));
  writer_.StartToPrinter(printer);
  writer_.Write("1234", "", kTx);
  writer_.Write("1234", "", kContinuation);
  EXPECT_EQ(printer.lines.size(), 1u);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, FailureText(EIO));
  EXPECT_EQ(failures_, 1);
  EXPECT_TRUE(writer_.ToPrinter());
  EXPECT_EQ(ReadFile(path), Line(kTx) + Line(kContinuation));
}

TEST(RawDataTest, TextAndHexDumps) {
  const std::string record(
      "\x01\x1f"
      "ABCDEFGHIJKLMNOP\r\x7f",
      20);
  EXPECT_EQ(RawDataText(record), "\r\n..ABCDEFGHIJKLMNOP.\x7f\r\n");
  EXPECT_EQ(RawDataText("\xc0 \x1b"), "\r\n\xc0 .\r\n");
  std::string padding;
  for (int i = 0; i < 16; ++i) padding += "00 ";
  EXPECT_EQ(RawDataHex(record),
            "\r\n01 1F 41 42 43 44 45 46 47 48 49 4A 4B 4C 4D 4E 4F 50    ..ABCDEFGHIJKLMNOP\r\n"
            "0D 7F " +
                padding + "   .\x7f\r\n");
  EXPECT_EQ(RawDataHex(""), "\r\n");

  RawData raw;
  raw.Dump("ignored while closed");
  PlainTextWindow window;
  raw.Attach(&window);
  raw.Dump("A\n");
  raw.SetHex(true);
  raw.Dump("B");
  EXPECT_EQ(window.Text(), "\r\nA.\r\n\r\n42 " + padding + "00    B\r\n");
}

}  // namespace
}  // namespace kestrel
