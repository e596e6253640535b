#include "app/acquisition/signal_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "mdcgen/signal.h"
#include "sieve/sieve.h"

namespace kestrel {
namespace {

// ---- The explanation ----

std::string Explanation(int rate, int shown) { return SignalExplanation(rate, shown); }

bool Says(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(SignalExplanationTest, TheWholeTextFor500SamplesAt44100) {
  EXPECT_EQ(Explanation(44100, 500),
            "MDC-4800 data is sent at 4800 baud (4800 bits per second).  Kestrel is sampling the "
            "radio signal at 44100 times per second, so every 9.19 samples represents a bit.  In "
            "the graph above every pixel represents one sample.  The graph contains 500 samples "
            "which translates to 54 bits covering 0.01 seconds of time.\r\n\r\nThe vertical grey "
            "lines show where each sample is interpretted as an MDT data bit.  The absence of "
            "vertical lines indicates the program isn't able to interpret the received signal.  "
            "The program must be able to determine whether each sample represents a 1-bit or a "
            "0-bit in order to sync-up with the incoming bit stream to determine which samples "
            "should be interpretted as MDT data bits.");
}

struct SamplesPerBit {
  int rate;
  std::string shown;
};

std::ostream& operator<<(std::ostream& out, const SamplesPerBit& c) {
  return out << c.rate << " samples per second";
}

class SamplesPerBitTest : public testing::TestWithParam<SamplesPerBit> {};

TEST_P(SamplesPerBitTest, RoundsToTwoDecimalsHalvesToEvenInShortestForm) {
  const std::string text = Explanation(GetParam().rate, 100);
  EXPECT_TRUE(Says(text, " at " + std::to_string(GetParam().rate) + " times per second, so every " +
                             GetParam().shown + " samples represents a bit."))
      << text;
}

INSTANTIATE_TEST_SUITE_P(Rates, SamplesPerBitTest,
                         testing::Values(SamplesPerBit{44100, "9.19"}, SamplesPerBit{22050, "4.59"},
                                         SamplesPerBit{19200, "4"}, SamplesPerBit{21600, "4.5"},
                                         SamplesPerBit{8039, "1.67"},  // 1.6748
                                         SamplesPerBit{8040, "1.68"},  // 1.675: up to the even 8
                                         SamplesPerBit{8041, "1.68"},  // 1.6752
                                         SamplesPerBit{8088, "1.68"},  // 1.685: down to the even 8
                                         SamplesPerBit{24, "0"},       // 0.005: down to the even 0
                                         SamplesPerBit{72, "0.02"},    // 0.015: up to the even 2
                                         SamplesPerBit{0, "0"}),
                         [](const testing::TestParamInfo<SamplesPerBit>& info) {
                           return "Rate" + std::to_string(info.param.rate);
                         });

struct Shown {
  int rate;
  int samples;
  std::string bits;
  std::string seconds;
};

std::ostream& operator<<(std::ostream& out, const Shown& c) {
  return out << c.samples << " samples at " << c.rate;
}

class GraphLengthTest : public testing::TestWithParam<Shown> {};

TEST_P(GraphLengthTest, BitsWholeAndSecondsToTwoDecimalsHalvesToEven) {
  const Shown& c = GetParam();
  const std::string text = Explanation(c.rate, c.samples);
  EXPECT_TRUE(Says(text, "  The graph contains " + std::to_string(std::max(c.samples, 0)) +
                             " samples which translates to " + c.bits + " bits covering " +
                             c.seconds + " seconds of time.\r\n\r\n"))
      << text;
}

INSTANTIATE_TEST_SUITE_P(
    Samples, GraphLengthTest,
    testing::Values(Shown{44100, 500, "54", "0.01"}, Shown{44100, 8192, "892", "0.19"},
                    Shown{19200, 0, "0", "0"},
                    Shown{19200, 2, "0", "0"},    // 0.5 bits: down to the even 0
                    Shown{19200, 3, "1", "0"},    // 0.75 bits
                    Shown{19200, 6, "2", "0"},    // 1.5 bits: up to the even 2
                    Shown{19200, 10, "2", "0"},   // 2.5 bits: down to the even 2
                    Shown{19200, 96, "24", "0"},  // 0.005 s: down to the even 0
                    Shown{19200, 97, "24", "0.01"}, Shown{19200, 288, "72", "0.02"},  // 0.015 s
                    Shown{19200, 480, "120", "0.02"},  // 0.025 s: down to the even 2
                    Shown{19200, 481, "120", "0.03"}, Shown{19200, 1920, "480", "0.1"},
                    Shown{19200, -5, "0", "0"},  // nothing shown
                    Shown{0, 500, "0", "0"}),    // no rate: no bits or time to state
    [](const testing::TestParamInfo<Shown>& info) {
      const int w = info.param.samples;
      return (w < 0 ? "Minus" + std::to_string(-w) : std::to_string(w)) + "SamplesAt" +
             std::to_string(info.param.rate);
    });

// ---- The settings ----

TEST(AnalysisSettingsTest, RateAndPolarityFollowTheAnalysedSource) {
  Settings s;
  s.SieveSource = kSieveSourceSoundCard;
  s.SamplingRate = 0;
  EXPECT_EQ(AnalysisRate(s), 44100);
  s.SamplingRate = 22050;
  EXPECT_EQ(AnalysisRate(s), 22050);
  s.ReversePolarity = false;
  s.COMPortReversePolarity = true;
  EXPECT_EQ(PolaritySign(s), 1);
  s.ReversePolarity = true;
  s.COMPortReversePolarity = false;
  EXPECT_EQ(PolaritySign(s), -1);

  s.SieveSource = kSieveSourceCOMPort;
  s.COMPortDevice = kCOMPortDeviceRM100;
  EXPECT_EQ(AnalysisRate(s), 19200);
  EXPECT_EQ(PolaritySign(s), 1);
  s.COMPortReversePolarity = true;
  s.ReversePolarity = false;
  EXPECT_EQ(PolaritySign(s), -1);

  // The slicer has no sample stream; what is asked of it is the sound card's.
  s.COMPortDevice = kCOMPortDeviceSlicer;
  EXPECT_EQ(AnalysisRate(s), 22050);
  EXPECT_EQ(PolaritySign(s), 1);
}

// ---- Captures from the decoder ----

constexpr int kBlock = SignalCapture::kMaxSamples;

mdcgen::Timeline Frames(int count) {
  std::vector<mdcgen::Transmission> transmissions;
  for (int i = 0; i < count; ++i) {
    mdcgen::Bytes frame(60);
    for (size_t j = 0; j < frame.size(); ++j) frame[j] = uint8_t(i * 31 + j * 7);
    transmissions.push_back({frame, 0.002});
  }
  return mdcgen::ComposeTimeline(transmissions, 0.01);
}

// The value a mask leaves of a sample read as signed, as the decoder masks it.
int Masked(uint8_t pcm, int mask) {
  const int8_t sample = int8_t(pcm);
  return mask == 0 ? sample : int8_t(uint8_t(sample) & uint8_t(mask));
}

// The first mask of the decoder's cycle that explains every masked value, or -1.
int MaskOf(const SignalCapture& capture, const uint8_t* block, int sign) {
  for (int mask : {0x80, 0x7F, 0xFF, 0}) {
    bool all = true;
    for (int i = 0; i < capture.count && all; ++i)
      all = capture.masked[size_t(i)] == sign * Masked(block[i], mask);
    if (all) return mask;
  }
  return -1;
}

// Distances between consecutive marks.
std::vector<int> MarkGaps(const SignalCapture& capture) {
  std::vector<int> gaps;
  int last = -1;
  for (int i = 0; i < capture.count; ++i) {
    if (!capture.marks[size_t(i)]) continue;
    if (last >= 0) gaps.push_back(i - last);
    last = i;
  }
  return gaps;
}

// Decodes one block of audio, capturing it when asked; the caller's copy is left unmasked.
void Decode(const uint8_t* pcm, int rate, bool capture) {
  std::vector<int8_t> samples(pcm, pcm + kBlock);
  std::vector<uint8_t> output(kBlock / 6 + SIEVE_MAX_FRAME_OUTPUT);
  int32_t corrections = 0, quality = 0;
  AudioToBytes(samples.data(), kBlock, output.data(), rate, 4800, '1', '0', &corrections, &quality,
               capture ? 1 : 0);
}

class SignalCaptureTest : public testing::Test {
 protected:
  SignalCaptureTest() {
    ReInit();
    TakeSignalCapture(0, 1);  // drops whatever an earlier test left pending
  }
};

TEST_F(SignalCaptureTest, AudioBlockArrivesAsPlottedValuesWithTheBitClocksMarks) {
  mdcgen::SignalOptions options;
  options.snr_db = 25;
  const std::vector<uint8_t> pcm = mdcgen::RenderPcm(Frames(6), options, 44100);
  ASSERT_GE(pcm.size(), size_t(6 * kBlock));
  for (int b = 0; b < 4; ++b) Decode(&pcm[size_t(b * kBlock)], 44100, false);

  const uint8_t* block = &pcm[size_t(4 * kBlock)];
  Decode(block, 44100, true);
  const SignalCapture capture = TakeSignalCapture(44100, 1);
  ASSERT_EQ(capture.count, kBlock);
  EXPECT_EQ(capture.rate, 44100);
  ASSERT_EQ(capture.raw.size(), size_t(kBlock));
  ASSERT_EQ(capture.masked.size(), size_t(kBlock));
  ASSERT_EQ(capture.marks.size(), size_t(kBlock));
  for (int i = 0; i < kBlock; ++i)
    ASSERT_EQ(capture.raw[size_t(i)], int(block[i]) - 128) << "sample " << i;
  EXPECT_NE(MaskOf(capture, block, 1), -1);
  EXPECT_NE(capture.threshold, 0);

  // One mark every 9.1875 samples.
  const std::vector<int> gaps = MarkGaps(capture);
  EXPECT_NEAR(double(gaps.size()), kBlock / 9.1875, 3);
  for (int gap : gaps) EXPECT_TRUE(gap == 9 || gap == 10) << gap;

  // Taking the capture released it.
  const SignalCapture again = TakeSignalCapture(44100, 1);
  EXPECT_EQ(again.count, 0);
  EXPECT_TRUE(again.raw.empty() && again.masked.empty() && again.marks.empty());

  // The reversed polarity turns every value over, the threshold with them.
  const uint8_t* next = &pcm[size_t(5 * kBlock)];
  Decode(next, 44100, true);
  const SignalCapture reversed = TakeSignalCapture(44100, -1);
  ASSERT_EQ(reversed.count, kBlock);
  for (int i = 0; i < kBlock; ++i)
    ASSERT_EQ(reversed.raw[size_t(i)], 128 - int(next[i])) << "sample " << i;
  EXPECT_EQ(MaskOf(reversed, next, -1), MaskOf(capture, block, 1));
  EXPECT_EQ(reversed.threshold, -capture.threshold);
  EXPECT_FALSE(MarkGaps(reversed).empty());
}

TEST_F(SignalCaptureTest, NoCapturePendingGivesAnEmptyOne) {
  Decode(std::vector<uint8_t>(kBlock, 128).data(), 44100, false);
  const SignalCapture capture = TakeSignalCapture(22050, -1);
  EXPECT_EQ(capture.count, 0);
  EXPECT_EQ(capture.rate, 22050);
  EXPECT_TRUE(capture.raw.empty() && capture.masked.empty() && capture.marks.empty());
}

TEST_F(SignalCaptureTest, RM100BlockHasTwoLevelsAndAMarkEveryFourSamples) {
  const std::vector<uint8_t> bytes = mdcgen::RenderRm100(Frames(10), {});
  constexpr int kBytes = kBlock / 8;
  ASSERT_GE(bytes.size(), size_t(5 * kBytes));
  std::vector<uint8_t> output(8 * kBytes / 6 + SIEVE_MAX_FRAME_OUTPUT);
  int32_t corrections = 0, quality = 0;
  for (int b = 0; b < 5; ++b) {
    RM100BytesToBytes(&bytes[size_t(b * kBytes)], kBytes, output.data(), 19200, 4800, '1', '0',
                      &corrections, &quality, b == 4 ? 1 : 0);
  }
  const SignalCapture capture = TakeSignalCapture(19200, 1);
  ASSERT_EQ(capture.count, kBlock);
  const uint8_t* block = &bytes[size_t(4 * kBytes)];
  const auto bit = [&](int i) { return (block[i / 8] >> (i % 8)) & 1; };
  int high = 0, low = 0;
  for (int i = 0; i < kBlock; ++i) (bit(i) ? high : low) = capture.raw[size_t(i)];
  EXPECT_GT(high, low);
  for (int i = 0; i < kBlock; ++i)
    ASSERT_EQ(capture.raw[size_t(i)], bit(i) ? high : low) << "sample " << i;
  const std::vector<int> gaps = MarkGaps(capture);
  EXPECT_NEAR(double(gaps.size()), kBlock / 4.0, 3);
  for (int gap : gaps) EXPECT_TRUE(gap >= 3 && gap <= 5) << gap;
}

}  // namespace
}  // namespace kestrel
