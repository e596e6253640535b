#include "app/acquisition/file_audio_input.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/acquisition/audio_file.h"
#include "support/scratch_directory.h"

namespace kestrel {
namespace {

constexpr size_t kSize = AudioBuffers::kSize;
constexpr int kCount = AudioBuffers::kCount;
using Pace = FileAudioInput::Pace;

// A WAV file written with libsndfile and the 8-bit unsigned samples it must arrive as.
struct Recording {
  std::string path;
  std::vector<uint8_t> expected;
};

// `count` pseudo-random samples at `rate`, stored with `bits` (8 or 16) per sample. 16-bit
// samples carry a low byte the conversion must drop: (s >> 8) + 128.
Recording MakeRecording(const kestrel_test::ScratchDirectory& scratch, const std::string& name,
                        int rate, int bits, size_t count, uint32_t seed = 1) {
  std::mt19937 random(seed);
  std::vector<short> written(count);
  Recording recording{scratch.Path(name), std::vector<uint8_t>(count)};
  for (size_t i = 0; i < count; ++i) {
    const int value = int(random() & 0xFFFF) - 32768;
    written[i] = short(bits == 8 ? value & ~0xFF : value);
    recording.expected[i] = uint8_t((written[i] >> 8) + 128);
  }
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = SF_FORMAT_WAV | (bits == 8 ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_16);
  SNDFILE* file = sf_open(recording.path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  if (file == nullptr) return recording;
  EXPECT_EQ(sf_write_short(file, written.data(), sf_count_t(count)), sf_count_t(count));
  sf_close(file);
  return recording;
}

// The samples padded with silence to whole buffers, as a card that completes full ones gives them.
std::vector<uint8_t> Padded(std::vector<uint8_t> samples) {
  samples.resize((samples.size() + kSize - 1) / kSize * kSize, 128);
  return samples;
}

// Waits for `condition`; the limit only keeps a broken input from hanging the test.
bool WaitFor(const std::function<bool()>& condition) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class FileAudioInputTest : public ::testing::Test {
 protected:
  // As the poll does: takes the completed buffers in order, queues each again, subtracts them.
  void TakeCompleted() {
    const int n = buffers_.Completed();
    for (int i = 0; i < n; ++i) {
      received_.insert(received_.end(), buffers_.Data(next_), buffers_.Data(next_) + kSize);
      buffers_.Requeue();
      next_ = next_ % kCount + 1;
    }
    buffers_.SubtractCompleted(n);
  }

  // Polls until the input has finished and nothing waits. Checks that when Finished first shows,
  // the last block is already there.
  void Collect(FileAudioInput& input, size_t expected_samples) {
    const bool finished = WaitFor([&] {
      const bool done = input.Finished();
      if (done) {
        EXPECT_EQ(received_.size() + size_t(buffers_.Completed()) * kSize, expected_samples)
            << "finished before the last block was written";
      }
      TakeCompleted();
      return done;
    });
    ASSERT_TRUE(finished) << "the input never finished";
    TakeCompleted();
  }

  kestrel_test::ScratchDirectory scratch_;
  std::unique_ptr<AudioBuffers> owned_ = std::make_unique<AudioBuffers>();
  AudioBuffers& buffers_ = *owned_;
  std::vector<uint8_t> received_;
  int next_ = 1;
};

struct Format {
  int rate;
  int bits;
};

class FileAudioInputFormatTest : public FileAudioInputTest,
                                 public ::testing::WithParamInterface<Format> {};

TEST_P(FileAudioInputFormatTest, ArrivesByteExactInOrderWithTheLastBlockPadded) {
  const auto [rate, bits] = GetParam();
  const Recording recording = MakeRecording(scratch_, "in.wav", rate, bits, 3 * kSize + 1000);
  FileAudioInput input(recording.path, Pace::kLossless);
  const AudioOpenResult result = input.Open(44100, buffers_);
  ASSERT_TRUE(result.ok()) << result.detail;
  EXPECT_EQ(input.Rate(), rate) << "the file's own rate, not the one asked for";
  Collect(input, 4 * kSize);
  EXPECT_EQ(received_, Padded(recording.expected));
  EXPECT_EQ(received_.back(), 128);
  EXPECT_EQ(buffers_.Dropped(), 0u);
  EXPECT_EQ(input.Error(), "");
  EXPECT_TRUE(input.Close());
}

INSTANTIATE_TEST_SUITE_P(RatesAndWidths, FileAudioInputFormatTest,
                         ::testing::Values(Format{44100, 8}, Format{44100, 16}, Format{22050, 8},
                                           Format{22050, 16}),
                         [](const auto& info) {
                           return std::to_string(info.param.rate) + "Hz" +
                                  std::to_string(info.param.bits) + "bit";
                         });

// Lengths at the block boundaries: what arrives is the samples padded to whole blocks.
class FileAudioInputLengthTest : public FileAudioInputTest,
                                 public ::testing::WithParamInterface<size_t> {};

TEST_P(FileAudioInputLengthTest, ArrivesPaddedToWholeBlocks) {
  const size_t length = GetParam();
  const Recording recording = MakeRecording(scratch_, "in.wav", 44100, 16, length);
  FileAudioInput input(recording.path, Pace::kLossless);
  ASSERT_TRUE(input.Open(44100, buffers_).ok());
  Collect(input, Padded(recording.expected).size());
  EXPECT_EQ(received_, Padded(recording.expected));
  EXPECT_EQ(buffers_.Dropped(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, FileAudioInputLengthTest,
                         ::testing::Values(0, 1, kSize - 1, kSize, kSize + 1, 2 * kSize));

TEST_F(FileAudioInputTest, LosslessPaceWaitsForTheBuffersAndFinishesOnlyAfterTheLastBlock) {
  // Twelve blocks, the last partial: two more than the buffers hold.
  const Recording recording = MakeRecording(scratch_, "in.wav", 22050, 8, 11 * kSize + 5);
  FileAudioInput input(recording.path, Pace::kLossless);
  ASSERT_TRUE(input.Open(22050, buffers_).ok());

  ASSERT_TRUE(WaitFor([&] { return buffers_.Completed() == kCount; }));
  EXPECT_FALSE(input.Finished()) << "two blocks are still to come";

  // One buffer back: block 11 goes in, block 12 still waits.
  buffers_.Requeue();
  buffers_.SubtractCompleted(1);
  ASSERT_TRUE(WaitFor([&] { return buffers_.Completed() == kCount; }));
  EXPECT_FALSE(input.Finished()) << "the last block is still to come";
  EXPECT_EQ(std::vector<uint8_t>(buffers_.Data(1), buffers_.Data(1) + kSize),
            std::vector<uint8_t>(recording.expected.begin() + 10 * kSize,
                                 recording.expected.begin() + 11 * kSize));

  buffers_.Requeue();
  buffers_.SubtractCompleted(1);
  ASSERT_TRUE(WaitFor([&] { return input.Finished(); }));
  EXPECT_EQ(buffers_.Completed(), kCount) << "the last block is in before Finished shows";
  EXPECT_EQ(buffers_.Dropped(), 0u);
  const std::vector<uint8_t> padded = Padded(recording.expected);
  EXPECT_EQ(std::vector<uint8_t>(buffers_.Data(2), buffers_.Data(2) + kSize),
            std::vector<uint8_t>(padded.end() - kSize, padded.end()));
}

TEST_F(FileAudioInputTest, RealPaceDeliversAShortFileExactly) {
  // About 1.1 s of audio. The poll here keeps up, so nothing is dropped; no timing is judged.
  const Recording recording = MakeRecording(scratch_, "in.wav", 22050, 16, 2 * kSize + 4000);
  FileAudioInput input(recording.path);
  ASSERT_TRUE(input.Open(22050, buffers_).ok());
  Collect(input, 3 * kSize);
  EXPECT_EQ(received_, Padded(recording.expected));
  EXPECT_EQ(buffers_.Dropped(), 0u);
}

TEST_F(FileAudioInputTest, OpeningAgainPlaysTheFileAgainFromItsStart) {
  const Recording recording = MakeRecording(scratch_, "in.wav", 44100, 8, kSize + 10);
  FileAudioInput input(recording.path, Pace::kLossless);
  ASSERT_TRUE(input.Open(44100, buffers_).ok());
  Collect(input, 2 * kSize);
  ASSERT_TRUE(input.Close());

  buffers_.Reset();
  received_.clear();
  next_ = 1;
  ASSERT_TRUE(input.Open(44100, buffers_).ok());
  Collect(input, 2 * kSize);
  EXPECT_EQ(received_, Padded(recording.expected));
}

struct BadFile {
  const char* name;
  const char* content;  // nullptr: no file at all
  const char* reason;   // in the detail after the path
};

class FileAudioInputBadFileTest : public FileAudioInputTest,
                                  public ::testing::WithParamInterface<BadFile> {};

TEST_P(FileAudioInputBadFileTest, OpenAnswersOtherWithTheReadersText) {
  const BadFile bad = GetParam();
  const std::string path =
      bad.content == nullptr ? scratch_.Path(bad.name) : scratch_.Write(bad.name, bad.content);
  FileAudioInput input(path);
  const AudioOpenResult result = input.Open(44100, buffers_);
  EXPECT_EQ(result.error, AudioOpenError::kOther);
  EXPECT_EQ(result.detail.rfind(path + ": ", 0), 0u) << result.detail;
  EXPECT_NE(result.detail.find(bad.reason), std::string::npos) << result.detail;
  AudioFile reader;
  std::string reader_error;
  EXPECT_FALSE(reader.Open(path, reader_error));
  EXPECT_EQ(result.detail, reader_error);
  EXPECT_FALSE(input.Finished());
  EXPECT_EQ(buffers_.Completed(), 0);
  EXPECT_TRUE(input.Close());
}

INSTANTIATE_TEST_SUITE_P(
    Files, FileAudioInputBadFileTest,
    ::testing::Values(BadFile{"missing.wav", nullptr, "No such file or directory"},
                      BadFile{"text.wav", "not audio at all, just some text\n",
                              "not a readable WAV file"},
                      BadFile{"empty.wav", "", "not a readable WAV file"}),
    [](const auto& info) { return std::string(info.param.name).substr(0, 4); });

TEST_F(FileAudioInputTest, AnUnsupportedRateIsRefusedWithTheRate) {
  const Recording recording = MakeRecording(scratch_, "8k.wav", 8000, 16, 100);
  FileAudioInput input(recording.path);
  const AudioOpenResult result = input.Open(44100, buffers_);
  EXPECT_EQ(result.error, AudioOpenError::kOther);
  EXPECT_EQ(result.detail,
            recording.path + ": sampling rate 8000 Hz not supported (44100 or 22050 Hz)");
}

TEST_F(FileAudioInputTest, CloseWithoutOpenAndTwiceIsSafe) {
  FileAudioInput input(scratch_.Path("never.wav"));
  EXPECT_TRUE(input.Close());
  EXPECT_TRUE(input.Close());
  EXPECT_FALSE(input.Finished());
  EXPECT_EQ(input.Rate(), 0);
}

TEST_F(FileAudioInputTest, CloseMidwayAtRealPaceStopsBeforeTheEnd) {
  // A minute of audio: if Close waited for the end, Finished would show.
  const Recording recording = MakeRecording(scratch_, "long.wav", 22050, 8, 60 * 22050);
  FileAudioInput input(recording.path);
  ASSERT_TRUE(input.Open(22050, buffers_).ok());
  EXPECT_TRUE(input.Close());
  EXPECT_TRUE(input.Close());
  EXPECT_FALSE(input.Finished());
}

TEST_F(FileAudioInputTest, CloseWhileWaitingForABufferStopsTheDelivery) {
  const Recording recording = MakeRecording(scratch_, "in.wav", 44100, 16, 20 * kSize);
  FileAudioInput input(recording.path, Pace::kLossless);
  ASSERT_TRUE(input.Open(44100, buffers_).ok());
  ASSERT_TRUE(WaitFor([&] { return buffers_.Completed() == kCount; }));
  EXPECT_TRUE(input.Close());
  EXPECT_FALSE(input.Finished());
  // Nothing writes any more: a freed buffer stays empty.
  buffers_.Requeue();
  buffers_.SubtractCompleted(1);
  EXPECT_EQ(buffers_.Completed(), kCount - 1);
  EXPECT_EQ(buffers_.Dropped(), 0u);
}

TEST_F(FileAudioInputTest, DestroyingAnOpenInputStopsItsThread) {
  const Recording recording = MakeRecording(scratch_, "in.wav", 44100, 16, 20 * kSize);
  {
    FileAudioInput input(recording.path, Pace::kLossless);
    ASSERT_TRUE(input.Open(44100, buffers_).ok());
    ASSERT_TRUE(WaitFor([&] { return buffers_.Completed() == kCount; }));
  }
  buffers_.Requeue();
  buffers_.SubtractCompleted(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(buffers_.Completed(), kCount - 1) << "a thread outlived its input";
}

}  // namespace
}  // namespace kestrel
