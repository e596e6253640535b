#include "decoder/demodulator.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <vector>

#include "decoder/decoder.h"
#include "support/sampled_bits.h"

namespace sieve {
namespace {

using sieve_test::Bits;
using sieve_test::BlockBits;
using sieve_test::Concat;
using sieve_test::EndBits;
using sieve_test::Preamble;
using sieve_test::RM100Bytes;
using sieve_test::Samples;
using sieve_test::SyncBits;
using ::testing::ElementsAre;

constexpr int32_t kUnwritten = -12345;
// Received bytes 88 and 168 (read as -88): a one and a zero bit under every sample mask.
constexpr int8_t kHigh = 88;
constexpr int8_t kLow = -88;

std::vector<int8_t> Repeat(int8_t value, int count) {
  return std::vector<int8_t>(size_t(count), value);
}

std::vector<int8_t> Join(std::initializer_list<std::vector<int8_t>> parts) {
  std::vector<int8_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class DemodulatorTest : public ::testing::Test {
 protected:
  int32_t Audio(std::vector<int8_t> samples, int32_t rate = 44100, int32_t capture = 0) {
    corrections_ = quality_ = kUnwritten;
    output_.assign(samples.size() + 2048, 0);
    const int32_t n =
        decoder_->AudioToBytes(samples.data(), int32_t(samples.size()), output_.data(), rate, 4800,
                               '1', '0', &corrections_, &quality_, capture);
    output_.resize(size_t(n));
    return n;
  }
  int32_t RM100(const std::vector<uint8_t>& bytes) {
    corrections_ = quality_ = kUnwritten;
    output_.assign(bytes.size() * 2 + 2048, 0);
    const int32_t n =
        decoder_->RM100BytesToBytes(bytes.data(), int32_t(bytes.size()), output_.data(), 19200,
                                    4800, '1', '0', &corrections_, &quality_, 0);
    output_.resize(size_t(n));
    return n;
  }
  const Demodulator& demodulator() const { return decoder_->demodulator(); }
  void Restart() { decoder_ = std::make_unique<Decoder>(nullptr); }

  std::unique_ptr<Decoder> decoder_ = std::make_unique<Decoder>(nullptr);
  std::vector<uint8_t> output_;
  int32_t corrections_ = 0;
  int32_t quality_ = 0;
};

TEST_F(DemodulatorTest, CyclesMasksWhileNoThresholdIsFound) {
  const auto flat = Repeat(17, 1000);
  std::vector<int32_t> masks;
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Audio(flat), 0);
    EXPECT_EQ(quality_, 0);
    EXPECT_EQ(corrections_, kUnwritten);
    masks.push_back(demodulator().mask());
  }
  EXPECT_THAT(masks, ElementsAre(0x80, 0x7F, 0xFF, 0, 0x80));
  decoder_->ReInit();
  EXPECT_EQ(demodulator().mask(), 0x7F);
  Audio(flat);
  EXPECT_EQ(demodulator().mask(), 0x80);
}

TEST_F(DemodulatorTest, FindsThresholdBetweenTwoClusters) {
  // Samples of 0 and 127 (the RM100 levels): one cluster under 0x80, threshold 63 under the rest.
  const auto rm100 = Join({Repeat(0, 50), Repeat(127, 50)});
  Audio(rm100);
  EXPECT_FALSE(demodulator().threshold_known());
  for (int32_t mask : {0x7F, 0xFF, 0}) {
    Audio(rm100);
    EXPECT_EQ(demodulator().mask(), mask);
    EXPECT_EQ(demodulator().threshold(), 63) << mask;
  }
  // -128 and 0: bin 0 stands in for the lower cluster; nothing under 0x7F.
  Restart();
  std::vector<int32_t> thresholds;
  for (int i = 0; i < 4; ++i) {
    Audio(Join({Repeat(-128, 50), Repeat(0, 50)}));
    thresholds.push_back(corrections_ != kUnwritten ? demodulator().threshold() : 999);
  }
  EXPECT_THAT(thresholds, ElementsAre(-64, 999, -64, -64));
}

TEST_F(DemodulatorTest, NeedsNineEmptyBinsBetweenClustersUnlessBinZeroIsFull) {
  // Clusters at 20 and 12 (seven empty bins between): no threshold under any mask but none.
  const auto close = Join({Repeat(12, 50), Repeat(20, 50)});
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Audio(close), 0);
    EXPECT_EQ(corrections_, kUnwritten) << i;
  }
  // With bin 0 (value -128) full, it becomes the lower cluster under 0x80.
  Restart();
  Audio(Join({Repeat(-128, 50), Repeat(20, 20), Repeat(12, 20)}));
  EXPECT_EQ(demodulator().threshold(), -64);
}

TEST_F(DemodulatorTest, DecisionWaitsOutContradictingSamples) {
  // At 44100 samples a second a decision needs the three samples before it to agree.
  for (int lows : {3, 4}) {
    Restart();
    Audio(Join({Repeat(kLow, 10), Repeat(kHigh, 20), Repeat(kLow, lows)}));
    EXPECT_EQ(demodulator().current_decision(), lows == 3 ? '1' : '0') << lows;
  }
  // At 22050 only the one sample before.
  for (int lows : {1, 2}) {
    Restart();
    Audio(Join({Repeat(kLow, 10), Repeat(kHigh, 20), Repeat(kLow, lows)}), 22050);
    EXPECT_EQ(demodulator().current_decision(), lows == 1 ? '1' : '0') << lows;
  }
}

TEST_F(DemodulatorTest, RecentresClockOnRunsOfAboutOneBit) {
  // A run of nine above decisions ends at the fourth low sample (i = 72): the next bit centre is
  // 72 - 5 + 9.1875, kept relative to the next block. The long first run re-centres nothing.
  Audio(Join({Repeat(kHigh, 50), Repeat(kLow, 10), Repeat(kHigh, 9), Repeat(kLow, 4)}));
  EXPECT_DOUBLE_EQ(demodulator().next_sampling_time(), 72 - 5 + 9.1875 - 73);
  for (int run : {4, 14}) {
    Restart();
    Audio(Join({Repeat(kHigh, 50), Repeat(kLow, 10), Repeat(kHigh, run), Repeat(kLow, 4)}));
    EXPECT_EQ(demodulator().next_sampling_time(), -1.0) << run;
  }
}

TEST_F(DemodulatorTest, LongBitsRecentreOnRunsNotNearOneBit) {
  // At 30 samples a bit a run of 45 (1.5 bits) still places the clock: half the excess over a
  // whole bit back from the run's end, then one bit on.
  Audio(Join({Repeat(kLow, 60), Repeat(kHigh, 45), Repeat(kLow, 15)}), 144000);
  EXPECT_DOUBLE_EQ(demodulator().next_sampling_time(), 119 - 7.5 - 1 + 30 - 120);
}

TEST_F(DemodulatorTest, KeepsClockAcrossCallsAndRestartsItOnNewRate) {
  Audio(Join({Repeat(kLow, 10), Repeat(kHigh, 9), Repeat(kLow, 4)}));
  const double clock = demodulator().next_sampling_time();
  Audio(Join({Repeat(kLow, 10), Repeat(kHigh, 40)}));
  EXPECT_NE(demodulator().next_sampling_time(), -1.0);
  EXPECT_NE(demodulator().next_sampling_time(), clock);
  EXPECT_EQ(demodulator().current_decision(), '1');
  Audio(Join({Repeat(kLow, 10), Repeat(kHigh, 40)}), 22050);
  EXPECT_EQ(demodulator().next_sampling_time(), -1.0);
  EXPECT_DOUBLE_EQ(demodulator().samples_per_bit(), 22050.0 / 4800);
}

// Bits at four samples each: a starting one bit locks the clock, then `ones` one bits among the
// remaining 98, so that exactly `ones` of the 100 bit periods carry an above decision.
std::vector<uint8_t> QualityPattern(int ones) {
  Bits bits(100, 0);
  bits[0] = 1;
  for (int i = 0; i < ones; ++i) bits[size_t(2 + i)] = 1;
  return RM100Bytes(bits);
}

TEST_F(DemodulatorTest, QualityOutsideTwentyFiveToSeventyFiveDropsThreshold) {
  for (int ones : {24, 25, 75, 76}) {
    Restart();
    RM100(QualityPattern(ones));  // gives up under the first mask
    RM100(QualityPattern(ones));
    EXPECT_EQ(quality_, ones);
    EXPECT_EQ(demodulator().threshold_known(), ones == 25 || ones == 75) << ones;
  }
}

// A frame of one block (01..06) sent as samples: 0 for a one bit, -128 for a zero.
std::vector<int8_t> FrameSamples(double samples_per_bit) {
  const Bits bits =
      Concat({Preamble(), SyncBits(), BlockBits({1, 2, 3, 4, 5, 6}), EndBits(), Preamble(16)});
  return Samples(bits, samples_per_bit, kHigh, kLow);
}

TEST_F(DemodulatorTest, DecodesFrameSpreadOverCallsAndReInit) {
  const auto samples = FrameSamples(44100.0 / 4800);
  const size_t third = samples.size() / 3;
  EXPECT_EQ(Audio({samples.begin(), samples.begin() + third}), 0);
  decoder_->ReInit();
  EXPECT_EQ(Audio({samples.begin() + third, samples.begin() + 2 * third}), 0);
  EXPECT_TRUE(decoder_->frames().in_frame());
  EXPECT_EQ(Audio({samples.begin() + 2 * third, samples.end()}), 6);
  EXPECT_THAT(output_, ElementsAre(1, 2, 3, 4, 5, 6));
  EXPECT_EQ(corrections_, 0);
}

TEST_F(DemodulatorTest, DecodesRM100Bytes) {
  const Bits bits =
      Concat({Preamble(), SyncBits(), BlockBits({9, 8, 7, 6, 5, 4}), EndBits(), Preamble(16)});
  const auto bytes = RM100Bytes(bits);
  EXPECT_EQ(RM100(bytes), 0);  // every sample is 0 under the first mask
  EXPECT_EQ(RM100(bytes), 6);
  EXPECT_THAT(output_, ElementsAre(9, 8, 7, 6, 5, 4));
  EXPECT_EQ(demodulator().threshold(), 63);
}

TEST_F(DemodulatorTest, CaptureKeepsReceivedBlockUntilHandedOut) {
  auto samples = FrameSamples(44100.0 / 4800);
  samples[0] = 100;   // received 100 = 0x64, re-centred -28
  samples[1] = -100;  // 0x9C: re-centred 28; masked (initial 0x7F) 28
  const int32_t count = int32_t(samples.size());
  Audio(samples, 44100, 1);
  std::vector<uint8_t> raw_pos(size_t(count) + 10, 0xEE), raw_neg = raw_pos, masked_pos = raw_pos,
                                                          masked_neg = raw_pos, marks = raw_pos;
  int32_t threshold = kUnwritten;
  EXPECT_EQ(
      decoder_->SignalInformation(count + 10, raw_pos.data(), raw_neg.data(), masked_pos.data(),
                                  masked_neg.data(), marks.data(), &threshold),
      count);
  EXPECT_EQ(threshold, 0);  // in force before this call's search
  EXPECT_EQ(raw_neg[0], 28);
  EXPECT_EQ(raw_pos[0], 0);
  EXPECT_EQ(raw_pos[1], 28);
  EXPECT_EQ(masked_pos[0], 100);
  EXPECT_EQ(masked_pos[1], 28);
  EXPECT_EQ(raw_neg[2], 40);  // kHigh is received as 88: 40 below the rest level
  EXPECT_EQ(masked_neg[size_t(count)], 0xEE);
  const int bits = std::accumulate(marks.begin(), marks.begin() + count, 0);
  EXPECT_NEAR(bits, count / 9.1875, 30);
  EXPECT_EQ(decoder_->SignalInformation(10, raw_pos.data(), raw_neg.data(), masked_pos.data(),
                                        masked_neg.data(), marks.data(), &threshold),
            0);
}

TEST_F(DemodulatorTest, RefusesNonsenseArgumentsWithoutDecoding) {
  auto samples = FrameSamples(44100.0 / 4800);
  for (int32_t rate : {0, -44100}) {
    EXPECT_EQ(Audio(samples, rate), 0);
    EXPECT_EQ(quality_, 0);
  }
  EXPECT_EQ(Audio({}), 0);
  // Fewer samples than one bit: nothing to measure the quality over.
  EXPECT_EQ(Audio(Repeat(kHigh, 5)), 0);
  EXPECT_EQ(quality_, 0);
}

}  // namespace
}  // namespace sieve
