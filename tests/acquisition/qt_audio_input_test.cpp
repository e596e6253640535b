#include "app/acquisition/qt_audio_input.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <QAudioDevice>
#include <QCoreApplication>
#include <QMediaDevices>
#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/pulse_server.h"

namespace kestrel {
namespace {

using kestrel_test::PulseServer;

constexpr int kRate = 44100;
constexpr char kPipeSource[] = "fifomic";
constexpr char kRemapSource[] = "vmic";

void MakeApplication() {
  static int argc = 1;
  static char name[] = "qt_audio_input_test";
  static char* argv[] = {name, nullptr};
  if (QCoreApplication::instance() == nullptr) new QCoreApplication(argc, argv);
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& byte : bytes) byte = uint8_t(random());
  return bytes;
}

// One sound server for the whole program, stopped at its exit: a Qt Multimedia client connects
// once per process, so a second server would never be reached.
class QtAudioInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!PulseServer::MissingReason().empty() || server_ != nullptr) return;
    server_ = std::make_unique<PulseServer>();
    if (!server_->problem().empty()) return;
    server_->ApplyToThisProcess();
    fifo_ = server_->LoadPipeSource(kPipeSource, kRate);
    sink_ = server_->LoadNullSinkSource(kRemapSource, kRate);
    MakeApplication();
  }

  void SetUp() override {
    if (const std::string why = PulseServer::MissingReason(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_EQ(server_->problem(), "");
    ASSERT_NE(fifo_, "") << server_->Log();
    ASSERT_NE(sink_, "") << server_->Log();
  }

  // Takes completed buffers as the poll does until `bytes` appear in what was recorded, or the
  // limit passes (only so that a broken recording cannot hang the test).
  bool RecordUntilFound(const std::vector<uint8_t>& bytes) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < limit) {
      const int n = buffers_.Completed();
      for (int i = 0; i < n; ++i) {
        recorded_.insert(recorded_.end(), buffers_.Data(next_), buffers_.Data(next_) + kSize);
        buffers_.Requeue();
        next_ = next_ % AudioBuffers::kCount + 1;
      }
      buffers_.SubtractCompleted(n);
      if (n > 0 && std::search(recorded_.begin(), recorded_.end(), bytes.begin(), bytes.end()) !=
                       recorded_.end()) {
        return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  // Feeds `bytes` into the pipe source while recording it through `input`; the silence after
  // them pushes the last ones through a whole buffer.
  void RecordThroughPipe(QtAudioInput& input, const std::vector<uint8_t>& bytes) {
    const AudioOpenResult result = input.Open(kRate, buffers_);
    ASSERT_TRUE(result.ok()) << result.detail;
    std::vector<uint8_t> fed = bytes;
    fed.insert(fed.end(), 3 * kSize, 128);
    bool written = false;
    std::thread writer([&] { written = PulseServer::WriteToPipe(fifo_, fed, kRate); });
    const bool found = RecordUntilFound(bytes);
    writer.join();
    EXPECT_TRUE(written);
    EXPECT_TRUE(found) << recorded_.size() << " bytes recorded, the fed ones not among them";
    EXPECT_EQ(buffers_.Dropped(), 0u);
    EXPECT_TRUE(input.Close());
  }

  static constexpr size_t kSize = AudioBuffers::kSize;
  static inline std::unique_ptr<PulseServer> server_;
  static inline std::string fifo_;
  static inline std::string sink_;

  std::unique_ptr<AudioBuffers> owned_ = std::make_unique<AudioBuffers>();
  AudioBuffers& buffers_ = *owned_;
  std::vector<uint8_t> recorded_;
  int next_ = 1;
};

TEST_F(QtAudioInputTest, DevicesListsTheServersSourcesByIdWithDescriptions) {
  const auto devices = QtAudioInput::Devices();
  for (const char* id : {kPipeSource, kRemapSource}) {
    const auto found = std::find_if(devices.begin(), devices.end(),
                                    [&](const auto& device) { return device.first == id; });
    ASSERT_NE(found, devices.end()) << id;
    EXPECT_NE(found->second, "") << id;
  }
}

TEST_F(QtAudioInputTest, RecordsWhatThePipeSourceIsFedByteExact) {
  QtAudioInput input(kPipeSource);
  RecordThroughPipe(input, RandomBytes(2 * kRate, 7));
  EXPECT_EQ(input.Note(), "");
  EXPECT_EQ(input.Rate(), kRate);
}

TEST_F(QtAudioInputTest, SixteenBitRecordingConvertsBackByteExact) {
  // The server widens the 8-bit pipe to 16 bits exactly; (s >> 8) + 128 must undo it.
  QtAudioInput input(kPipeSource, QtAudioInput::SampleWidth::k16Bit);
  RecordThroughPipe(input, RandomBytes(kRate, 11));
}

TEST_F(QtAudioInputTest, OpensAgainAfterClose) {
  QtAudioInput input(kPipeSource);
  RecordThroughPipe(input, RandomBytes(kRate / 2, 3));
  recorded_.clear();
  buffers_.Reset();
  next_ = 1;
  RecordThroughPipe(input, RandomBytes(kRate / 2, 4));
}

TEST_F(QtAudioInputTest, AMissingDeviceFallsBackToTheDefaultAndSaysSo) {
  QtAudioInput input("no-such-input");
  const AudioOpenResult result = input.Open(kRate, buffers_);
  ASSERT_TRUE(result.ok()) << result.detail;
  QAudioDevice used = QMediaDevices::defaultAudioInput();
  if (used.isNull()) used = QMediaDevices::audioInputs().value(0);
  EXPECT_EQ(input.Note(), "input \"no-such-input\" not found, using \"" +
                              used.description().toStdString() + "\"");
  EXPECT_TRUE(input.Close());
}

TEST_F(QtAudioInputTest, TheDefaultDeviceNeedsNoNote) {
  QtAudioInput input("");
  const AudioOpenResult result = input.Open(kRate, buffers_);
  ASSERT_TRUE(result.ok()) << result.detail;
  EXPECT_EQ(input.Note(), "");
  EXPECT_TRUE(input.Close());
}

TEST_F(QtAudioInputTest, ARateNoDeviceTakesIsAnUnsupportedFormat) {
  QtAudioInput input(kPipeSource);
  const AudioOpenResult result = input.Open(100'000'000, buffers_);
  EXPECT_EQ(result.error, AudioOpenError::kFormatNotSupported) << result.detail;
  EXPECT_TRUE(input.Close());
}

TEST_F(QtAudioInputTest, CloseWithoutOpenAndTwiceIsSafe) {
  QtAudioInput input(kPipeSource);
  EXPECT_TRUE(input.Close());
  ASSERT_TRUE(input.Open(kRate, buffers_).ok());
  EXPECT_TRUE(input.Close());
  EXPECT_TRUE(input.Close());
}

// The null sink and remap source the end-to-end tests play recordings into.
TEST_F(QtAudioInputTest, RecordsWhatIsPlayedIntoTheNullSink) {
  constexpr size_t kCount = kRate;
  std::mt19937 random(5);
  std::vector<short> played(kCount);
  std::vector<uint8_t> expected(kCount);
  for (size_t i = 0; i < kCount; ++i) {
    played[i] = short(int(random() & 0xFFFF) - 32768);
    expected[i] = uint8_t((played[i] >> 8) + 128);
  }
  const std::string wav = server_->scratch().Path("played.wav");
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(wav.c_str(), SFM_WRITE, &info);
  ASSERT_NE(file, nullptr);
  sf_write_short(file, played.data(), sf_count_t(kCount));
  sf_close(file);

  QtAudioInput input(kRemapSource);
  ASSERT_TRUE(input.Open(kRate, buffers_).ok());
  // The first second or so may bring nothing: play only once the silence arrives.
  ASSERT_TRUE(RecordUntilFound(std::vector<uint8_t>(64, 128)));
  std::string output;
  EXPECT_EQ(server_->Run({"paplay", "--device=" + sink_, wav}, &output), 0) << output;
  // paplay ends when the server has taken the last sample; silence follows it out.
  EXPECT_TRUE(RecordUntilFound(expected));
  EXPECT_TRUE(input.Close());
}

}  // namespace
}  // namespace kestrel
