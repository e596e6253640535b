#include "decoder/robust_demodulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "decoder/decoder.h"
#include "mdcgen/random_frames.h"
#include "mdcgen/signal.h"

namespace sieve {
namespace {

using ::testing::IsEmpty;

constexpr int32_t kUnwritten = -12345;

// How a decoded stream compares with what was sent: frames found intact, in order, and bytes
// that belong to none of them (a wrong or cut-short frame).
struct Tally {
  int intact = 0;
  size_t stray_bytes = 0;
};

// Every delivered frame ends in a non-zero byte (random frames do), so the padding after each
// one is trimmed and the output is the frames back to back.
Tally Compare(const std::vector<uint8_t>& output, const std::vector<mdcgen::Bytes>& sent) {
  Tally tally;
  size_t next = 0;
  size_t position = 0;
  while (position < output.size()) {
    bool found = false;
    for (size_t j = next; j < sent.size(); ++j) {
      const auto& frame = sent[j];
      if (position + frame.size() <= output.size() &&
          std::equal(frame.begin(), frame.end(), output.begin() + long(position))) {
        ++tally.intact;
        next = j + 1;
        position += frame.size();
        found = true;
        break;
      }
    }
    if (!found) {
      tally.stray_bytes = output.size() - position;
      break;
    }
  }
  return tally;
}

std::vector<mdcgen::Transmission> Transmissions(const std::vector<mdcgen::Bytes>& frames,
                                                double gap) {
  std::vector<mdcgen::Transmission> transmissions;
  for (const auto& frame : frames) transmissions.push_back({frame, gap});
  return transmissions;
}

class RobustDemodulatorTest : public ::testing::Test {
 protected:
  // Decodes `pcm` in blocks of `block` samples and returns everything delivered.
  std::vector<uint8_t> DecodeAudio(const std::vector<uint8_t>& pcm, int32_t rate,
                                   size_t block = 8192, int32_t above = '1', int32_t below = '0') {
    std::vector<uint8_t> all;
    for (size_t offset = 0; offset < pcm.size(); offset += block) {
      const size_t n = std::min(block, pcm.size() - offset);
      std::vector<int8_t> samples(n);
      std::memcpy(samples.data(), pcm.data() + offset, n);
      std::vector<uint8_t> output(n / 6 + SIEVE_MAX_FRAME_OUTPUT);
      corrections_ = quality_ = kUnwritten;
      const int32_t written =
          decoder_->RobustAudioToBytes(samples.data(), int32_t(n), output.data(), rate, 4800, above,
                                       below, &corrections_, &quality_, 0);
      EXPECT_GE(written, 0);
      EXPECT_LE(size_t(written), output.size());
      EXPECT_GE(quality_, 0);
      EXPECT_LE(quality_, 100);
      all.insert(all.end(), output.begin(), output.begin() + written);
    }
    return all;
  }
  std::vector<uint8_t> DecodeRm100(const std::vector<uint8_t>& bytes, size_t block = 1024) {
    std::vector<uint8_t> all;
    for (size_t offset = 0; offset < bytes.size(); offset += block) {
      const size_t n = std::min(block, bytes.size() - offset);
      std::vector<uint8_t> output(8 * n / 6 + SIEVE_MAX_FRAME_OUTPUT);
      const int32_t written =
          decoder_->RobustRM100BytesToBytes(bytes.data() + offset, int32_t(n), output.data(), 19200,
                                            4800, '1', '0', &corrections_, &quality_, 0);
      EXPECT_LE(size_t(written), output.size());
      all.insert(all.end(), output.begin(), output.begin() + written);
    }
    return all;
  }

  void Reset() { decoder_ = std::make_unique<Decoder>(nullptr); }

  std::unique_ptr<Decoder> decoder_ = std::make_unique<Decoder>(nullptr);
  int32_t corrections_ = kUnwritten;
  int32_t quality_ = kUnwritten;
};

mdcgen::SignalOptions Options(std::optional<double> snr, uint64_t seed = 1) {
  mdcgen::SignalOptions options;
  options.snr_db = snr;
  options.seed = seed;
  return options;
}

TEST_F(RobustDemodulatorTest, CleanAudioAtBothRatesGivesEveryFrame) {
  const auto frames = mdcgen::RandomFrames(20, 11);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 0.02), 0.05);
  for (int rate : {44100, 22050}) {
    Reset();
    const Tally tally =
        Compare(DecodeAudio(mdcgen::RenderPcm(timeline, Options({}), rate), rate), frames);
    EXPECT_EQ(tally.intact, 20) << rate;
    EXPECT_EQ(tally.stray_bytes, 0u) << rate;
  }
}

TEST_F(RobustDemodulatorTest, CleanRm100GivesEveryFrame) {
  const auto frames = mdcgen::RandomFrames(20, 12);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 0.02), 0.05);
  const Tally tally = Compare(DecodeRm100(mdcgen::RenderRm100(timeline, Options({}))), frames);
  EXPECT_EQ(tally.intact, 20);
  EXPECT_EQ(tally.stray_bytes, 0u);
}

TEST_F(RobustDemodulatorTest, SquelchedSilenceBetweenTransmissions) {
  // Long quiet gaps, first without noise at all, then noise only while the carrier is up.
  const auto frames = mdcgen::RandomFrames(12, 13);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 1.5), 1.0);
  for (std::optional<double> snr :
       {std::optional<double>{}, std::optional<double>{12.0}, std::optional<double>{40.0}}) {
    for (int rate : {44100, 22050}) {
      Reset();
      auto options = Options(snr, 5);
      options.squelch = true;
      const Tally tally =
          Compare(DecodeAudio(mdcgen::RenderPcm(timeline, options, rate), rate), frames);
      EXPECT_EQ(tally.intact, 12) << rate << " " << snr.value_or(-1);
      EXPECT_EQ(tally.stray_bytes, 0u);
    }
  }
}

TEST_F(RobustDemodulatorTest, ClockDriftOfFiveHundredPpmEitherWay) {
  const auto frames = mdcgen::RandomFrames(15, 14);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 0.05), 0.05);
  for (double drift : {500.0, -500.0}) {
    for (int rate : {44100, 22050}) {
      Reset();
      auto options = Options(8.0, 3);
      options.drift_ppm = drift;
      const Tally tally =
          Compare(DecodeAudio(mdcgen::RenderPcm(timeline, options, rate), rate), frames);
      EXPECT_EQ(tally.intact, 15) << drift << " " << rate;
      EXPECT_EQ(tally.stray_bytes, 0u);
    }
  }
}

TEST_F(RobustDemodulatorTest, DcOffsetAndAcCoupling) {
  const auto frames = mdcgen::RandomFrames(30, 15);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 0.1), 0.05);
  {
    // Both levels on the same side of 128: the exact decoder's masks cannot separate them.
    auto options = Options(12.0, 4);
    options.offset = 60.0;
    options.amplitude = 30.0;
    const Tally tally =
        Compare(DecodeAudio(mdcgen::RenderPcm(timeline, options, 44100), 44100), frames);
    EXPECT_EQ(tally.intact, 30);
    EXPECT_EQ(tally.stray_bytes, 0u);
  }
  {
    Reset();
    auto options = Options(20.0, 4);
    options.speaker = true;
    const Tally tally =
        Compare(DecodeAudio(mdcgen::RenderPcm(timeline, options, 44100), 44100), frames);
    // The first transmissions teach the feedback taps the channel's tail.
    EXPECT_GE(tally.intact, 24);
    EXPECT_EQ(tally.stray_bytes, 0u);
  }
}

TEST_F(RobustDemodulatorTest, ReversedPolarityNeedsTheSwappedSymbols) {
  const auto frames = mdcgen::RandomFrames(10, 16);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 0.05), 0.05);
  auto options = Options(15.0, 6);
  options.invert = true;
  const auto pcm = mdcgen::RenderPcm(timeline, options, 44100);
  EXPECT_THAT(DecodeAudio(pcm, 44100), IsEmpty());
  Reset();
  const Tally tally = Compare(DecodeAudio(pcm, 44100, 8192, '0', '1'), frames);
  EXPECT_EQ(tally.intact, 10);
  EXPECT_EQ(tally.stray_bytes, 0u);
}

TEST_F(RobustDemodulatorTest, WeakSignalAtZeroDecibels) {
  // Per-sample SNR 0 dB at 44100 Hz (3 dB at 22050 Hz): the exact decoder gets none of these.
  const auto frames = mdcgen::RandomFrames(30, 17);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 0.05), 0.05);
  for (auto [rate, snr] : {std::pair{44100, 0.0}, std::pair{22050, 3.0}}) {
    Reset();
    const Tally tally =
        Compare(DecodeAudio(mdcgen::RenderPcm(timeline, Options(snr, 8), rate), rate), frames);
    EXPECT_GE(tally.intact, 28) << rate;
    EXPECT_EQ(tally.stray_bytes, 0u) << rate;
  }
}

TEST_F(RobustDemodulatorTest, PureNoiseGivesNothing) {
  std::mt19937 random(99);
  std::normal_distribution<double> noise(128.0, 30.0);
  for (int rate : {44100, 22050}) {
    std::vector<uint8_t> pcm(size_t(rate) * 60);
    for (auto& sample : pcm) sample = uint8_t(std::clamp(noise(random), 0.0, 255.0));
    EXPECT_THAT(DecodeAudio(pcm, rate), IsEmpty()) << rate;
  }
  std::vector<uint8_t> bytes(19200 / 8 * 60);
  for (auto& byte : bytes) byte = uint8_t(random());
  EXPECT_THAT(DecodeRm100(bytes), IsEmpty());
}

TEST_F(RobustDemodulatorTest, BlockSizeDoesNotChangeTheOutput) {
  const auto frames = mdcgen::RandomFrames(6, 18);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 0.02), 0.05);
  const auto pcm = mdcgen::RenderPcm(timeline, Options(10.0, 9), 22050);
  const auto whole = DecodeAudio(pcm, 22050, pcm.size());
  EXPECT_EQ(Compare(whole, frames).intact, 6);
  for (size_t block : {size_t{1}, size_t{7}, size_t{13}, size_t{8191}}) {
    Reset();
    EXPECT_EQ(DecodeAudio(pcm, 22050, block), whole) << block;
  }
  const auto rm100 = mdcgen::RenderRm100(timeline, Options({}));
  Reset();
  const auto whole_rm100 = DecodeRm100(rm100, rm100.size());
  EXPECT_EQ(Compare(whole_rm100, frames).intact, 6);
  for (size_t block : {size_t{1}, size_t{3}}) {
    Reset();
    EXPECT_EQ(DecodeRm100(rm100, block), whole_rm100) << block;
  }
}

TEST_F(RobustDemodulatorTest, UnusableArgumentsDecodeNothing) {
  std::vector<int8_t> samples(4096, 0);
  std::vector<uint8_t> output(4096 / 6 + SIEVE_MAX_FRAME_OUTPUT);
  const auto call = [&](int8_t* data, int32_t count, uint8_t* out, int32_t rate, int32_t baud) {
    quality_ = kUnwritten;
    const int32_t n = decoder_->RobustAudioToBytes(data, count, out, rate, baud, '1', '0',
                                                   &corrections_, &quality_, 0);
    EXPECT_EQ(quality_, 0);
    return n;
  };
  EXPECT_EQ(call(samples.data(), 4096, output.data(), 0, 4800), 0);
  EXPECT_EQ(call(samples.data(), 4096, output.data(), 44100, 0), 0);
  EXPECT_EQ(call(samples.data(), 4096, output.data(), -44100, 4800), 0);
  EXPECT_EQ(call(samples.data(), 4096, nullptr, 44100, 4800), 0);
  EXPECT_EQ(call(nullptr, 4096, output.data(), 44100, 4800), 0);
  EXPECT_EQ(call(samples.data(), -5, output.data(), 44100, 4800), 0);
  // The bit period must lie within 2 to 24 samples.
  EXPECT_EQ(call(samples.data(), 4096, output.data(), 9599, 4800), 0);
  EXPECT_EQ(call(samples.data(), 4096, output.data(), 115201, 4800), 0);
  EXPECT_EQ(decoder_->RobustRM100BytesToBytes(nullptr, 10, output.data(), 19200, 4800, '1', '0',
                                              &corrections_, &quality_, 0),
            0);
  EXPECT_EQ(decoder_->RobustRM100BytesToBytes(reinterpret_cast<uint8_t*>(samples.data()),
                                              INT32_MAX / 8 + 1, output.data(), 19200, 4800, '1',
                                              '0', &corrections_, &quality_, 0),
            0);
}

TEST_F(RobustDemodulatorTest, BitPeriodLimitsAreDecoded) {
  // 2 and 24 samples a bit: a clean frame at either limit comes through.
  const auto frames = mdcgen::RandomFrames(2, 19);
  const auto timeline = mdcgen::ComposeTimeline(Transmissions(frames, 0.02), 0.05);
  for (int rate : {9600, 115200}) {
    Reset();
    EXPECT_EQ(
        Compare(DecodeAudio(mdcgen::RenderPcm(timeline, Options({}), rate), rate), frames).intact,
        2)
        << rate;
  }
}

TEST_F(RobustDemodulatorTest, QualityIsTheShareOfAboveBits) {
  // A steady level below 128 reads as `above` in every bit period, until the level tracker
  // settles on it, so only the first five bit periods after alternating bits are asked about.
  std::vector<int8_t> samples(45, int8_t(88));
  std::vector<uint8_t> output(44100 / 6 + SIEVE_MAX_FRAME_OUTPUT);
  std::vector<int8_t> alternating(44100);
  for (size_t i = 0; i < alternating.size(); ++i) {
    alternating[i] = int8_t((i * 4800 / 44100) % 2 ? 88 : -88);
  }
  decoder_->RobustAudioToBytes(alternating.data(), int32_t(alternating.size()), output.data(),
                               44100, 4800, '1', '0', &corrections_, &quality_, 0);
  EXPECT_NEAR(quality_, 50, 3);
  decoder_->RobustAudioToBytes(samples.data(), 45, output.data(), 44100, 4800, '1', '0',
                               &corrections_, &quality_, 0);
  EXPECT_GE(quality_, 80);
}

TEST_F(RobustDemodulatorTest, CaptureMarksTheClockAndTheLevel) {
  const auto frames = mdcgen::RandomFrames(1, 20);
  auto options = Options(20.0, 2);
  options.offset = -20.0;  // a level below the rest, which reads as above it
  const auto pcm =
      mdcgen::RenderPcm(mdcgen::ComposeTimeline(Transmissions(frames, 0.01), 0.0), options, 44100);
  std::vector<int8_t> samples(pcm.begin(), pcm.begin() + 8192);
  std::vector<uint8_t> output(8192 / 6 + SIEVE_MAX_FRAME_OUTPUT);
  decoder_->RobustAudioToBytes(samples.data(), 8192, output.data(), 44100, 4800, '1', '0',
                               &corrections_, &quality_, 1);
  std::vector<uint8_t> raw_positive(9000), raw_negative(9000), positive(9000), negative(9000),
      marks(9000);
  int32_t threshold = kUnwritten;
  EXPECT_EQ(decoder_->SignalInformation(9000, raw_positive.data(), raw_negative.data(),
                                        positive.data(), negative.data(), marks.data(), &threshold),
            8192);
  const auto taken = std::count(marks.begin(), marks.begin() + 8192, 1);
  EXPECT_NEAR(double(taken), 8192 / (44100.0 / 4800), 3.0);
  // The level sits near the offset on the decoder's scale (128 minus the sample).
  EXPECT_NEAR(threshold, 20, 4);
  // Raw as the exact decoder captures it (the sample re-centred); the decoder's view mirrored.
  for (size_t i : {size_t{0}, size_t{4000}}) {
    const int raw = int(pcm[i]) - 128;
    EXPECT_EQ(int(raw_positive[i]) - int(raw_negative[i]), raw) << i;
    EXPECT_EQ(int(positive[i]) - int(negative[i]), std::min(-raw, 127)) << i;
  }
  // Captured once only.
  EXPECT_EQ(decoder_->SignalInformation(9000, raw_positive.data(), raw_negative.data(),
                                        positive.data(), negative.data(), marks.data(), &threshold),
            0);
}

TEST_F(RobustDemodulatorTest, ReInitForgetsTheLevelOnly) {
  auto options = Options(20.0, 2);
  options.offset = 30.0;
  const auto frames = mdcgen::RandomFrames(1, 21);
  const auto pcm =
      mdcgen::RenderPcm(mdcgen::ComposeTimeline(Transmissions(frames, 0.05), 0.0), options, 44100);
  std::vector<int8_t> samples(pcm.begin(), pcm.begin() + 4000);
  std::vector<uint8_t> output(4000 / 6 + SIEVE_MAX_FRAME_OUTPUT);
  decoder_->RobustAudioToBytes(samples.data(), 4000, output.data(), 44100, 4800, '1', '0',
                               &corrections_, &quality_, 0);
  EXPECT_NEAR(decoder_->robust().level(), -30.0, 5.0);
  const double period = decoder_->robust().period();
  decoder_->ReInit();
  EXPECT_EQ(decoder_->robust().level(), 0.0);
  EXPECT_EQ(decoder_->robust().period(), period);
}

}  // namespace
}  // namespace sieve
