#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <numeric>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "mdcgen/cli.h"
#include "mdcgen/demo_traffic.h"
#include "mdcgen/file_formats.h"
#include "mdcgen/frame_encoder.h"
#include "mdcgen/random_frames.h"
#include "mdcgen/record_composer.h"
#include "mdcgen/signal.h"
#include "support/scratch_directory.h"

namespace mdcgen {
namespace {

constexpr uint64_t kWindowMask = (uint64_t{1} << 40) - 1;

struct BlockReading {
  std::array<uint8_t, kBlockBytes> bytes{};
  int failed_checks = 0;
  int corrections = 0;
};

// The receiver's block rules written out plainly: de-interleave, check every pair, vote on the
// data bit that four failed checks share, pack data bits 0..47 least significant first.
BlockReading ReadBlock(const Block& block) {
  BlockReading reading;
  std::array<uint8_t, kBlockDataBits> data{};
  uint32_t r = 0;
  uint32_t s = 0;
  int n = 0;
  bool data_symbol = true;
  for (int row = 0; row < 16; ++row) {
    for (int column = 0; column < 7; ++column) {
      const uint8_t bit = block[column * 16 + row];
      r = ((r & 0x3FFF) << 1) | bit;
      if (data_symbol) {
        data[n++] = bit;
        data_symbol = false;
        continue;
      }
      data_symbol = true;
      s <<= 1;
      if ((((r >> 13) ^ (r >> 11) ^ (r >> 5) ^ (r >> 1) ^ r) & 1) == 0) {
        s |= 1;
        ++reading.failed_checks;
      }
      if (std::popcount(s & 0x53u) >= 3) {
        s ^= 0x53;
        ++reading.corrections;
        if (n >= 7) data[n - 7] ^= 1;
      }
    }
  }
  for (int k = 0; k < kBlockBytes; ++k) {
    for (int j = 0; j < 8; ++j) reading.bytes[k] |= data[8 * k + j] << j;
  }
  return reading;
}

// The receiver's framing: bytes of the usable blocks between a sync word and its complement.
Bytes ReadFrame(const Bits& bits) {
  uint64_t window = 0;
  bool in_frame = false;
  int position = 0;
  Block block{};
  Bytes bytes;
  for (uint8_t bit : bits) {
    if (in_frame) {
      block[position++] = bit;
      if (position == kBlockBits) {
        position = 0;
        const BlockReading reading = ReadBlock(block);
        if (reading.failed_checks < 12)
          bytes.insert(bytes.end(), reading.bytes.begin(), reading.bytes.end());
      }
    }
    window = ((window << 1) | bit) & kWindowMask;
    const int mismatch = std::popcount(window ^ kSyncWord);
    if (mismatch <= 4) {
      in_frame = true;
      position = 0;
    } else if (mismatch >= 36) {
      if (in_frame) return bytes;
      position = 0;
    }
  }
  return {};  // never closed
}

Bytes Padded(Bytes bytes) {
  bytes.resize((bytes.size() + kBlockBytes - 1) / kBlockBytes * kBlockBytes, 0);
  return bytes;
}

TEST(BlockEncoderTest, MatchesHandDerivedBits) {
  // All-zero data makes every check bit 1, so coded bit q is q & 1, sent at column * 16 + row.
  const Block zeros = EncodeBlock(std::array<uint8_t, kBlockBytes>{});
  for (int p = 0; p < kBlockBits; ++p) EXPECT_EQ(zeros[p], (p / 16 + p % 16) & 1) << p;

  // Data bit 0 enters checks 0, 2, 5 and 6 (coded bits 1, 5, 11, 13) and is itself coded bit 0.
  const Block one = EncodeBlock(std::array<uint8_t, kBlockBytes>{0x01});
  std::vector<int> differing;
  for (int p = 0; p < kBlockBits; ++p) {
    if (one[p] != zeros[p]) differing.push_back(p);
  }
  EXPECT_EQ(differing, (std::vector<int>{0, 16, 65, 80, 97}));
}

TEST(BlockEncoderTest, PassesEveryCheckAndSurvivesAnySingleError) {
  std::mt19937_64 engine(7);
  for (int trial = 0; trial < 20; ++trial) {
    std::array<uint8_t, kBlockBytes> bytes;
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(engine());
    const Block block = EncodeBlock(bytes);
    const BlockReading clean = ReadBlock(block);
    EXPECT_EQ(clean.failed_checks, 0);
    EXPECT_EQ(clean.corrections, 0);
    EXPECT_EQ(clean.bytes, bytes);
    for (int p = 0; p < kBlockBits; ++p) {
      Block damaged = block;
      damaged[p] ^= 1;
      EXPECT_EQ(ReadBlock(damaged).bytes, bytes) << "flipped bit " << p;
    }
  }
}

TEST(FrameEncoderTest, LayoutAndReadBack) {
  Bytes ramp(kMaxFrameBytes);
  std::iota(ramp.begin(), ramp.end(), 1);
  for (const Bytes& frame :
       {Bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, Bytes(13, 0xFF), Bytes(7, 0x00), ramp}) {
    const EncodedFrame encoded = EncodeFrame(frame);
    const size_t blocks = (frame.size() + 5) / 6;
    ASSERT_EQ(encoded.bits.size(), EncodedFrameBits(frame.size()));
    EXPECT_EQ(encoded.sync_end, kPreambleBits + 39u);
    EXPECT_EQ(encoded.closing_sync_end, encoded.sync_end + blocks * kBlockBits + 40);
    EXPECT_EQ(ReadFrame(encoded.bits), Padded(frame));
    EXPECT_TRUE(FalseSyncs(encoded).empty());
  }
}

TEST(FrameEncoderTest, SyncWindows) {
  // No window that ends before the sync word is complete may come near it or its complement.
  EncodedFrame encoded = EncodeFrame(Bytes(12, 0));
  uint64_t window = 0;
  for (size_t i = 0; i < encoded.sync_end; ++i) {
    window = ((window << 1) | encoded.bits[i]) & kWindowMask;
    const int mismatch = std::popcount(window ^ kSyncWord);
    if (i >= 39) {
      EXPECT_TRUE(mismatch >= 5 && mismatch <= 35) << i << ": " << mismatch;
    }
  }

  // A sync word with two bits wrong planted in the first block is found where it ends.
  const size_t plant_end = encoded.sync_end + 100;
  for (int i = 0; i < 40; ++i) {
    encoded.bits[plant_end - i] = ((kSyncWord >> i) & 1) ^ (i == 3 || i == 30);
  }
  EXPECT_EQ(FalseSyncs(encoded), std::vector<size_t>{plant_end});
}

Timeline TimelineOf(std::vector<int8_t> symbols) { return Timeline{std::move(symbols)}; }

TEST(PcmTest, WavHeaderLevelsAndPolarity) {
  Timeline timeline;
  timeline.AppendRest(0.01);
  timeline.AppendBits(EncodeFrame(Bytes{0x55}).bits);
  for (int rate : {44100, 22050}) {
    for (bool invert : {false, true}) {
      SignalOptions options;
      options.invert = invert;
      const std::vector<uint8_t> pcm = RenderPcm(timeline, options, rate);
      EXPECT_EQ(pcm.size(), static_cast<size_t>(timeline.Seconds() * rate));
      // The first bit after the rest is a one.
      const size_t first = static_cast<size_t>(0.01 * rate) + 1;
      EXPECT_EQ(pcm[first], invert ? 168 : 88);
      for (uint8_t sample : pcm) EXPECT_TRUE(sample == 88 || sample == 128 || sample == 168);

      const Bytes wav = WavFile(pcm, rate);
      auto field = [&wav](size_t at, int bytes) {
        uint32_t value = 0;
        for (int i = bytes - 1; i >= 0; --i) value = value << 8 | wav[at + i];
        return value;
      };
      EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");
      EXPECT_EQ(std::string(wav.begin() + 8, wav.begin() + 16), "WAVEfmt ");
      EXPECT_EQ(field(4, 4), wav.size() - 8);
      EXPECT_EQ(field(20, 2), 1u);  // PCM
      EXPECT_EQ(field(22, 2), 1u);  // mono
      EXPECT_EQ(field(24, 4), static_cast<uint32_t>(rate));
      EXPECT_EQ(field(34, 2), 8u);
      EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
      EXPECT_EQ(field(40, 4), pcm.size());
      EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), wav.begin() + 44));
    }
  }
}

TEST(PcmTest, NoiseOffsetDriftAndSeed) {
  const Timeline ones = TimelineOf(std::vector<int8_t>(48000, 1));
  SignalOptions options;
  options.snr_db = 20.0;  // standard deviation 4
  options.offset = -10.0;
  const std::vector<uint8_t> pcm = RenderPcm(ones, options, 44100);
  const double mean = std::accumulate(pcm.begin(), pcm.end(), 0.0) / pcm.size();
  const double power = std::inner_product(pcm.begin(), pcm.end(), pcm.begin(), 0.0) / pcm.size();
  EXPECT_NEAR(mean, 78.0, 0.1);
  EXPECT_NEAR(std::sqrt(power - mean * mean), 4.0, 0.15);
  EXPECT_EQ(RenderPcm(ones, options, 44100), pcm);
  options.seed = 2;
  EXPECT_NE(RenderPcm(ones, options, 44100), pcm);

  options.drift_ppm = 1000.0;  // 10 s of bits sent 0.1 % fast
  EXPECT_EQ(RenderPcm(ones, options, 44100).size(), static_cast<size_t>(10.0 / 1.001 * 44100));
}

// 0.2 s of rest, a frame, 0.2 s of rest; the indices of the transmission at `rate`.
struct Burst {
  Timeline timeline;
  size_t first = 0;
  size_t end = 0;
};

Burst MakeBurst(int rate) {
  Burst burst;
  burst.timeline.AppendRest(0.2);
  burst.first = static_cast<size_t>(std::ceil(0.2 * rate));
  burst.timeline.AppendBits(EncodeFrame(Bytes(30, 0xA5)).bits);
  burst.end = static_cast<size_t>(burst.timeline.Seconds() * rate);
  burst.timeline.AppendRest(0.2);
  return burst;
}

double Deviation(std::span<const uint8_t> samples) {
  const double mean = std::accumulate(samples.begin(), samples.end(), 0.0) / samples.size();
  double power = 0.0;
  for (uint8_t sample : samples) power += (sample - mean) * (sample - mean);
  return std::sqrt(power / samples.size());
}

TEST(SquelchTest, NoiseOnlyWhileFramesAreSent) {
  const Burst burst = MakeBurst(44100);
  SignalOptions flat;
  flat.snr_db = 6.0;
  SignalOptions squelched = flat;
  squelched.squelch = true;
  const std::vector<uint8_t> noisy = RenderPcm(burst.timeline, flat, 44100);
  const std::vector<uint8_t> quiet = RenderPcm(burst.timeline, squelched, 44100);
  ASSERT_EQ(quiet.size(), noisy.size());
  for (size_t k = 0; k < quiet.size(); ++k) {
    if (k >= burst.first && k < burst.end) {
      ASSERT_EQ(quiet[k], noisy[k]) << k;  // the transmission keeps its noise
    } else {
      ASSERT_EQ(quiet[k], 128) << k;
    }
  }
  EXPECT_GT(Deviation(std::span(noisy).first(burst.first)), 10.0);

  // A floor 30 dB down: standard deviation 40 / 10^1.5, about 1.26, plus the rounding's.
  squelched.squelch_floor_db = 30.0;
  const std::vector<uint8_t> floor = RenderPcm(burst.timeline, squelched, 44100);
  EXPECT_NEAR(Deviation(std::span(floor).first(burst.first)), 1.30, 0.15);
  EXPECT_EQ(std::vector(floor.begin() + burst.first, floor.begin() + burst.end),
            std::vector(noisy.begin() + burst.first, noisy.begin() + burst.end));

  // The line receivers see no edge between transmissions.
  SignalOptions line = squelched;
  line.squelch_floor_db.reset();
  const std::vector<uint8_t> rm100 = RenderRm100(burst.timeline, line);
  const size_t rest_bytes = static_cast<size_t>(0.2 * kRm100SampleRate) / 8 - 1;
  for (size_t i = 0; i < rest_bytes; ++i) ASSERT_EQ(rm100[i], 0) << i;
  EXPECT_EQ(RenderSlicer(burst.timeline, line).front(), (SlicerEntry{65535, 0x11}));
}

TEST(SquelchTest, FloorLimits) {
  SignalOptions options;
  options.squelch_floor_db = 30.0;
  EXPECT_EQ(CheckSignalOptions(options), "a squelch floor needs squelch");
  options.squelch = true;
  for (double db : {20.0, 120.0}) {
    options.squelch_floor_db = db;
    EXPECT_EQ(CheckSignalOptions(options), "") << db;
  }
  for (double db : {19.99, 120.01, -5.0}) {
    options.squelch_floor_db = db;
    EXPECT_EQ(CheckSignalOptions(options), "the squelch floor must be within 20..120 dB") << db;
  }
}

// Gain in decibels of the channel for a steady sine at `hz`, measured after it settles.
double ChannelGainDb(double highpass_hz, double lowpass_hz, double hz) {
  SpeakerChannel channel(highpass_hz, lowpass_hz);
  const auto settle = static_cast<int>(kChannelRate / 5);  // 0.2 s: many time constants at 20 Hz
  const auto measure = static_cast<int>(kChannelRate / 2);
  double in_power = 0.0;
  double out_power = 0.0;
  for (int k = 0; k < settle + measure; ++k) {
    const double x = std::sin(2.0 * std::numbers::pi * hz * k / kChannelRate);
    const double y = channel.Step(x);
    if (k >= settle) {
      in_power += x * x;
      out_power += y * y;
    }
  }
  return 10.0 * std::log10(out_power / in_power);
}

TEST(SpeakerTest, BandPassResponse) {
  // Second order on each side: -3 dB at the corners, 12 dB an octave beyond them.
  EXPECT_NEAR(ChannelGainDb(300, 3000, 100), -19.1, 0.3);
  EXPECT_NEAR(ChannelGainDb(300, 3000, 300), -3.0, 0.1);
  EXPECT_NEAR(ChannelGainDb(300, 3000, 1000), -0.1, 0.1);
  EXPECT_NEAR(ChannelGainDb(300, 3000, 3000), -3.0, 0.1);
  EXPECT_NEAR(ChannelGainDb(300, 3000, 6000), -12.3, 0.3);
  // Moved corners move the response.
  EXPECT_NEAR(ChannelGainDb(500, 2000, 500), -3.0, 0.1);
  EXPECT_NEAR(ChannelGainDb(500, 2000, 2000), -3.0, 0.1);
  EXPECT_NEAR(ChannelGainDb(20, 10000, 20), -3.0, 0.1);
  EXPECT_NEAR(ChannelGainDb(20, 10000, 10000), -3.0, 0.1);
  EXPECT_LT(ChannelGainDb(500, 2000, 3000), -6.0);
}

TEST(SpeakerTest, AcCoupledBandLimitedAndOffsetAfterwards) {
  Timeline ones = TimelineOf(std::vector<int8_t>(4800, 1));  // one second of one bits
  SignalOptions options;
  options.speaker = true;
  std::vector<uint8_t> pcm = RenderPcm(ones, options, 44100);
  EXPECT_LT(*std::min_element(pcm.begin(), pcm.begin() + 100), 100);  // the step gets through
  EXPECT_EQ(pcm.back(), 128);                                         // and decays: no DC passes
  options.offset = -10.0;
  EXPECT_EQ(RenderPcm(ones, options, 22050).back(), 118);

  // Noise is band-limited with the rest: about a third of its flat deviation remains.
  Timeline rest;
  rest.AppendRest(1.0);
  SignalOptions noise;
  noise.snr_db = 0.0;  // standard deviation 40
  const double flat = Deviation(RenderPcm(rest, noise, 44100));
  noise.speaker = true;
  const double band = Deviation(RenderPcm(rest, noise, 44100));
  EXPECT_NEAR(flat, 40.0, 1.0);
  EXPECT_GT(band, 0.25 * flat);
  EXPECT_LT(band, 0.45 * flat);

  // The line receivers slice the channel's output at the rest level.
  const Burst burst = MakeBurst(kRm100SampleRate);
  SignalOptions line;
  line.speaker = true;
  const std::vector<uint8_t> rm100 = RenderRm100(burst.timeline, line);
  EXPECT_EQ(rm100, RenderRm100(burst.timeline, line));
  EXPECT_FALSE(RenderSlicer(burst.timeline, line).empty());
}

TEST(SpeakerTest, CornerLimits) {
  const auto check = [](double highpass, double lowpass) {
    SignalOptions options;
    options.speaker = true;
    options.highpass_hz = highpass;
    options.lowpass_hz = lowpass;
    return CheckSignalOptions(options);
  };
  EXPECT_EQ(check(20, 1000), "");
  EXPECT_EQ(check(999, 1000), "");
  EXPECT_EQ(check(300, 10000), "");
  EXPECT_EQ(check(19.99, 3000), "the high-pass corner must be within 20..1000 Hz");
  EXPECT_EQ(check(1000.01, 3000), "the high-pass corner must be within 20..1000 Hz");
  EXPECT_EQ(check(300, 999.99), "the low-pass corner must be within 1000..10000 Hz");
  EXPECT_EQ(check(300, 10000.01), "the low-pass corner must be within 1000..10000 Hz");
  EXPECT_EQ(check(1000, 1000), "the high-pass corner must be below the low-pass corner");
}

TEST(Rm100Test, FirstSampleInTheLeastSignificantBit) {
  const Timeline timeline = TimelineOf({1, -1, -1, 1, 0, 0});
  EXPECT_EQ(RenderRm100(timeline, {}), (std::vector<uint8_t>{0x0F, 0xF0, 0x00}));
  SignalOptions inverted;
  inverted.invert = true;
  EXPECT_EQ(RenderRm100(timeline, inverted), (std::vector<uint8_t>{0xF0, 0x0F, 0x00}));
}

TEST(SlicerTest, DurationsStatusesAndSplitting) {
  // A one bit is a low line; the rest level counts as high.
  EXPECT_EQ(RenderSlicer(TimelineOf({1, -1, -1}), {}),
            (std::vector<SlicerEntry>{{249, 0x01}, {497, 0x11}}));
  SignalOptions inverted;
  inverted.invert = true;
  EXPECT_EQ(RenderSlicer(TimelineOf({1, -1, -1}), inverted),
            (std::vector<SlicerEntry>{{249, 0x11}, {497, 0x01}}));

  Timeline rest;
  rest.AppendRest(1.0);
  const std::vector<SlicerEntry> entries = RenderSlicer(rest, {});
  ASSERT_EQ(entries.size(), 19u);
  for (size_t i = 0; i < 18; ++i) EXPECT_EQ(entries[i], (SlicerEntry{65535, 0x11}));
  EXPECT_EQ(entries[18], (SlicerEntry{1193182 - 18 * 65535, 0x11}));
  EXPECT_EQ(SlicerText(entries).substr(0, 9), "65535 17\n");
}

TEST(SourcesTest, RandomFramesAndDemoTraffic) {
  const std::vector<Bytes> frames = RandomFrames(40, 3);
  EXPECT_EQ(RandomFrames(40, 3), frames);
  EXPECT_NE(RandomFrames(40, 4), frames);
  for (const Bytes& frame : frames) {
    EXPECT_GE(frame.size(), kRandomFrameMinBytes);
    EXPECT_LE(frame.size(), kRandomFrameMaxBytes);
    EXPECT_NE(frame.back(), 0);
  }

  // The demo's records are checked in detail with the composer; here: it fills the time.
  const Schedule demo = DemoTraffic(180.0, 4800);
  EXPECT_GT(demo.transmissions.size(), 20u);
  const Timeline timeline = ComposeTimeline(demo.transmissions, demo.trailing_gap);
  EXPECT_NEAR(timeline.Seconds(), 180.0, 0.01);
  for (const Transmission& transmission : demo.transmissions) {
    const Bytes& frame = transmission.frame;
    EXPECT_TRUE(frame[0] == 0x75 || frame[0] == 0x35);
    EXPECT_NE(frame.back(), 0);
    EXPECT_TRUE(FalseSyncs(EncodeFrame(frame)).empty());
  }
  EXPECT_TRUE(DemoTraffic(1.0, 1).transmissions.empty());
}

TEST(FrameTextTest, ParsesAndReportsTheBadLine) {
  const FrameList list = ParseFrames("0102 03\r\n\n  ff\n");
  EXPECT_EQ(list.error, "");
  EXPECT_EQ(list.frames, (std::vector<Bytes>{{1, 2, 3}, {0xFF}}));
  EXPECT_EQ(FormatFrames(list.frames), "010203\nFF\n");

  EXPECT_EQ(ParseFrames("01\n0x12\n").error, "line 2: 'x' at column 2 is not a hexadecimal digit");
  EXPECT_EQ(ParseFrames("012\n").error, "line 1: the digit at column 3 does not complete a byte");
  EXPECT_EQ(ParseFrames(std::string("0\0", 2)).error,
            "line 1: byte 0x00 at column 2 is not a hexadecimal digit");
  EXPECT_EQ(ParseFrames("# sent first\n01\n  #\n# 0x\n02\n").frames,
            (std::vector<Bytes>{{1}, {2}}));
  EXPECT_EQ(ParseFrames("01 # late\n").error, "line 1: '#' at column 4 is not a hexadecimal digit");
  EXPECT_EQ(ParseFrames(std::string(2 * kMaxFrameBytes, 'a')).error, "");
  EXPECT_EQ(ParseFrames(std::string(2 * kMaxFrameBytes + 2, 'a')).error,
            "line 1: the frame is longer than 1008 bytes");
}

TEST(MessageTextTest, ParsesEscapesAndReportsTheBadLine) {
  const MessageList list =
      ParseMessages("# units\r\n1207 \\e[7mMSG\\e[0m\\rA\\\\B\\x41\\f\r\n\n  FFFF\t BOLO  \n");
  ASSERT_EQ(list.error, "");
  ASSERT_EQ(list.messages.size(), 2u);
  EXPECT_EQ(list.messages[0].line, 2u);
  EXPECT_EQ(list.messages[0].address, (Bytes{0x12, 0x07}));
  EXPECT_EQ(list.messages[0].text, "\x1b[7mMSG\x1b[0m\rA\\BA\f");
  EXPECT_EQ(list.messages[1].address, (Bytes{0xFF, 0xFF}));
  EXPECT_EQ(list.messages[1].text, "BOLO  ");

  // Short addresses are terminal numbers with leading zeros.
  const MessageList padded = ParseMessages("1 A\n12 B\n123 C\n1234 D\n123456 E\n01020304 F\n");
  ASSERT_EQ(padded.error, "");
  const std::vector<Bytes> addresses = {{0x00, 0x01}, {0x00, 0x12},       {0x01, 0x23},
                                        {0x12, 0x34}, {0x12, 0x34, 0x56}, {1, 2, 3, 4}};
  for (size_t i = 0; i < addresses.size(); ++i) {
    EXPECT_EQ(padded.messages[i].address, addresses[i]) << i;
  }
  EXPECT_EQ(ParseMessages("1207 OK\n12345 X\n").error,
            "line 2: the address is not whole bytes of hexadecimal digits");
  EXPECT_EQ(ParseMessages("12G7 X\n").error, "line 1: the address is not hexadecimal digits");
  EXPECT_EQ(ParseMessages("010203040 X\n").error, "line 1: the address has more than 4 bytes");
  EXPECT_EQ(ParseMessages("0102030405 X\n").error, "line 1: the address has more than 4 bytes");
  EXPECT_EQ(ParseMessages("1207   \n").error, "line 1: no text after the address");
  EXPECT_EQ(ParseMessages("1207 AB\\q").error,
            "line 1: column 8: a backslash starts \\e, \\r, \\f, \\\\ or \\xHH");
  EXPECT_EQ(ParseMessages("1207 AB\\x4").error.substr(0, 17), "line 1: column 8:");
  EXPECT_EQ(ParseMessages("1207 AB\\").error.substr(0, 17), "line 1: column 8:");
  EXPECT_EQ(ParseMessages("1207 " + std::string(kMaxMessageBytes, 'A')).error, "");
  EXPECT_EQ(ParseMessages("1207 " + std::string(kMaxMessageBytes + 1, 'A')).error,
            "line 1: the text is longer than 16000 bytes");
}

class CliTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return scratch_.Path(name); }
  void Write(const std::string& name, const std::string& text) const { scratch_.Write(name, text); }
  std::string Read(const std::string& name) const { return scratch_.Read(name); }

  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return RunMdcgen(args, out_, err_);
  }

  kestrel_test::ScratchDirectory scratch_{"mdcgen_test"};
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(CliTest, WritesEveryFormatAndTheFramesSent) {
  Write("frames.txt", "75 0102 03\n\nAABBCC\n");
  EXPECT_EQ(Run({Path("frames.txt"), "-o", Path("a.wav"), "--frames-out", Path("sent.txt")}), 0)
      << err_.str();
  EXPECT_EQ(Read("sent.txt"), "75010203\nAABBCC\n");
  EXPECT_EQ(Read("a.wav").substr(0, 4), "RIFF");

  EXPECT_EQ(Run({"--random", "3", "--snr", "10", "--drift=-50", "-o", Path("b.rm100")}), 0);
  EXPECT_EQ(Run({"--random", "3", "--invert", "--format", "slicer", "-o", Path("c.edges")}), 0);
  EXPECT_EQ(Read("c.edges").substr(0, 9), "65535 17\n");  // the leading rest, split
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.str().find("--random N"), std::string::npos);
}

TEST_F(CliTest, ComposesMessagesIntoRecords) {
  Write("messages.txt",
        "1207 RUN PLATE 4KTR219\n1207 RUN PLATE 4KTR219\n3090 " + std::string(130, 'M') + "\n");
  ASSERT_EQ(Run({"--messages", Path("messages.txt"), "-o", Path("m.wav"), "--frames-out",
                 Path("sent.txt")}),
            0)
      << err_.str();
  const FrameList sent = ParseFrames(Read("sent.txt"));
  ASSERT_EQ(sent.frames.size(), 4u);
  for (const Bytes& frame : sent.frames) {
    EXPECT_EQ(frame[0], 0x75);
    EXPECT_EQ(frame[1], 0xC0);
  }
  EXPECT_EQ(ReadRecordText(sent.frames[0]), "RUN PLATE 4KTR219");
  // The same text twice is not the same record: the sequence number moves on.
  EXPECT_NE(sent.frames[0], sent.frames[1]);
  EXPECT_EQ(sent.frames[2][3], 0x90);
  EXPECT_EQ(ReadRecordText(sent.frames[2]) + ReadRecordText(sent.frames[3]), std::string(130, 'M'));
  EXPECT_EQ(err_.str(), "");

  Write("bad.txt", "1207 OK\n1207 AB\\x75\\xC0CD\n");
  EXPECT_EQ(Run({"--messages", Path("bad.txt"), "-o", Path("b.wav")}), 2);
  EXPECT_NE(err_.str().find("line 2: record 1: 0x75 0xC0 at position 22"), std::string::npos)
      << err_.str();
  Write("empty.txt", "# nothing\n");
  EXPECT_EQ(Run({"--messages", Path("empty.txt"), "-o", Path("b.wav")}), 2);
  EXPECT_NE(err_.str().find("holds no messages"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(Path("b.wav")));
}

TEST_F(CliTest, DashWritesStdout) {
  Write("frames.txt", "# two frames\n75C0 01\nAABBCC\n");
  ASSERT_EQ(Run({Path("frames.txt"), "-o", "-", "--format", "wav"}), 0) << err_.str();
  EXPECT_EQ(out_.str().substr(0, 4), "RIFF");
  ASSERT_EQ(Run({Path("frames.txt"), "-o", Path("a.rm100"), "--frames-out", "-"}), 0);
  EXPECT_EQ(out_.str(), "75C001\nAABBCC\n");
  ASSERT_EQ(
      Run({Path("frames.txt"), "-o", "-", "--format", "slicer", "--frames-out", Path("sent.txt")}),
      0);
  EXPECT_EQ(out_.str().substr(0, 9), "65535 17\n");
  EXPECT_EQ(Read("sent.txt"), "75C001\nAABBCC\n");
  EXPECT_EQ(Run({"--random", "1", "-o", "-", "--frames-out", "-", "--format", "wav"}), 2);
  EXPECT_NE(err_.str().find("cannot both write stdout"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"--random", "1", "-o", "-"}), 2);
  EXPECT_NE(err_.str().find("-o - writes stdout; give --format"), std::string::npos);
  EXPECT_EQ(out_.str(), "");
}

TEST_F(CliTest, SquelchAndSpeakerOptions) {
  Write("messages.txt", "12 UNIT 12 CLEAR\n");
  ASSERT_EQ(Run({"--messages", Path("messages.txt"), "--snr", "12", "--squelch", "--squelch-floor",
                 "40", "--speaker", "--highpass", "250", "--lowpass=2800", "-o", Path("s.wav"),
                 "--frames-out", Path("sent.txt")}),
            0)
      << err_.str();
  const FrameList sent = ParseFrames(Read("sent.txt"));
  ASSERT_EQ(sent.frames.size(), 1u);
  EXPECT_EQ(sent.frames[0][2], 0x00);  // terminal 0012
  EXPECT_EQ(sent.frames[0][3], 0x12);
  EXPECT_EQ(Run({"--help"}), 0);
  for (const char* option :
       {"--squelch ", "--squelch-floor DB", "--speaker ", "--highpass HZ", "--lowpass HZ"}) {
    EXPECT_NE(out_.str().find(option), std::string::npos) << option;
  }

  const std::string out = Path("out.wav");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--squelch-floor", "40"}, "--squelch-floor needs --squelch"},
      {{"--squelch", "--squelch-floor", "19"}, "the squelch floor must be within 20..120 dB"},
      {{"--squelch=1"}, "--squelch takes no value"},
      {{"--highpass", "300"}, "--highpass needs --speaker"},
      {{"--lowpass", "3000"}, "--lowpass needs --speaker"},
      {{"--speaker", "--highpass", "1001"}, "the high-pass corner must be within 20..1000 Hz"},
      {{"--speaker", "--lowpass", "10001"}, "the low-pass corner must be within 1000..10000 Hz"},
      {{"--speaker", "--highpass", "900", "--lowpass", "900"}, "the low-pass corner must be"},
      {{"--speaker", "--highpass", "x"}, "--highpass needs a number, not 'x'"},
      {{"--seed", "-1"}, "--seed needs a non-negative number, not '-1'"},
  };
  for (const auto& [extra, message] : cases) {
    std::vector<std::string> args = {"--random", "1", "-o", out};
    args.insert(args.end(), extra.begin(), extra.end());
    EXPECT_EQ(Run(args), 2) << extra[0];
    EXPECT_NE(err_.str().find("mdcgen: " + message), std::string::npos) << err_.str();
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

TEST_F(CliTest, RejectsBadArgumentsAndInput) {
  Write("bad.txt", "0102\nzz\n");
  const std::string out = Path("out.wav");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--random", "2"}, "no output file"},
      {{"--random", "2", "--demo", "10", "-o", out}, "exactly one"},
      {{"--messages", Path("bad.txt"), "--demo", "10", "-o", out}, "exactly one"},
      {{"--messages", Path("missing.txt"), "-o", out}, "cannot open"},
      {{"--messages", Path("bad.txt"), "-o", out}, "line 1: no text after the address"},
      {{"--random", "0", "-o", out}, "--random needs"},
      {{"--random", "2", "--snr", "nan", "-o", out}, "finite"},
      {{"--random", "2", "--rate", "48000", "-o", out}, "44100 or 22050"},
      {{"--random", "2", "--offset", "5", "-o", Path("x.txt")}, "WAV output only"},
      {{"--random", "2", "--amplitude", "64", "-o", out}, "amplitude"},
      {{"--random", "2", "-o", Path("x.bin")}, "cannot tell the format"},
      {{"--random", "2", "--bogus", "-o", out}, "unknown option"},
      {{"--random", "4000", "--gap", "1", "-o", out}, "at most 3600 s"},
      {{Path("bad.txt"), "-o", out}, "line 2: 'z' at column 1"},
      {{Path("missing.txt"), "-o", out}, "cannot open"},
      {{"--random", "1", "-o", Path("no/such/dir.wav")}, "cannot create"},
  };
  for (const auto& [args, message] : cases) {
    EXPECT_NE(Run(args), 0) << args[0] << " " << args[1];
    EXPECT_NE(err_.str().find(message), std::string::npos) << err_.str();
    EXPECT_FALSE(std::filesystem::exists(out));
  }
}

}  // namespace
}  // namespace mdcgen
