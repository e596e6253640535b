// Frames through the generator and back through the decoder, called as the program calls it.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/replay_slicer_device.h"
#include "mdcgen/frame_encoder.h"
#include "mdcgen/random_frames.h"
#include "mdcgen/signal.h"

namespace mdcgen {
namespace {

constexpr int kAudioBlock = 8192;
constexpr int kRm100Block = 960;
constexpr int kSlicerRing = 1024;
constexpr int kSlicerBatch = 600;
constexpr size_t kFrames = 30;
// Longer than one decoding call, and longer than the first RM100 call, which finds no threshold.
constexpr double kGap = 0.5;

struct Decoded {
  std::vector<Bytes> outputs;  // the non-empty outputs, one per call
  int corrections = 0;
};

sieve::SlicerDevice* NoDevice(std::string_view) { return nullptr; }

Timeline TimelineOf(const std::vector<Bytes>& frames) {
  std::vector<Transmission> transmissions;
  for (const Bytes& frame : frames) transmissions.push_back({frame, kGap});
  return ComposeTimeline(transmissions, kGap);
}

// The symbols a listener chooses: swapped for a recording of inverted polarity.
int32_t OneSymbol(bool invert) { return invert ? '0' : '1'; }
int32_t ZeroSymbol(bool invert) { return invert ? '1' : '0'; }

void Collect(Decoded& decoded, const std::vector<uint8_t>& output, int32_t count,
             int32_t corrections) {
  if (count > 0) decoded.outputs.emplace_back(output.begin(), output.begin() + count);
  decoded.corrections += corrections;
}

Decoded DecodeAudio(std::vector<uint8_t> pcm, int rate, bool invert) {
  sieve::Decoder decoder(NoDevice);
  Decoded decoded;
  std::vector<uint8_t> output(kAudioBlock + 2 * sieve::FrameDecoder::kMaxFrameOutput);
  for (size_t at = 0; at + kAudioBlock <= pcm.size(); at += kAudioBlock) {
    int32_t corrections = 0;
    int32_t quality = 0;
    const int32_t count = decoder.AudioToBytes(
        reinterpret_cast<int8_t*>(pcm.data() + at), kAudioBlock, output.data(), rate, 4800,
        OneSymbol(invert), ZeroSymbol(invert), &corrections, &quality, 0);
    Collect(decoded, output, count, corrections);
  }
  return decoded;
}

Decoded DecodeRm100(const std::vector<uint8_t>& bytes, bool invert) {
  sieve::Decoder decoder(NoDevice);
  Decoded decoded;
  std::vector<uint8_t> output(8 * kRm100Block + 2 * sieve::FrameDecoder::kMaxFrameOutput);
  for (size_t at = 0; at + kRm100Block <= bytes.size(); at += kRm100Block) {
    int32_t corrections = 0;
    int32_t quality = 0;
    const int32_t count = decoder.RM100BytesToBytes(bytes.data() + at, kRm100Block, output.data(),
                                                    kRm100SampleRate, 4800, OneSymbol(invert),
                                                    ZeroSymbol(invert), &corrections, &quality, 0);
    Collect(decoded, output, count, corrections);
  }
  return decoded;
}

Decoded DecodeSlicer(const std::vector<SlicerEntry>& entries, bool invert) {
  sieve::ReplaySlicerDevice device(kSlicerRing);
  sieve::Decoder decoder([&device](std::string_view) -> sieve::SlicerDevice* { return &device; });
  EXPECT_EQ(decoder.InstallSlicerDriver(1), 1);
  Decoded decoded;
  std::vector<uint8_t> output(8192);
  size_t stored = 0;
  while (stored < entries.size()) {
    const size_t batch_end = std::min(entries.size(), stored + kSlicerBatch);
    for (; stored < batch_end; ++stored)
      device.Store(entries[stored].duration, entries[stored].status);
    int32_t corrections = 0;
    int32_t pending = 0;
    // A one bit is a low line unless the polarity is inverted.
    const int32_t count = decoder.SlicerToBytes(output.data(), 4800, OneSymbol(invert),
                                                ZeroSymbol(invert), &corrections, &pending);
    Collect(decoded, output, count, corrections);
  }
  decoder.UninstallSlicerDriver();
  return decoded;
}

// Each frame ends with a non-zero byte, so the call outputs joined must be the frames joined: the
// padding of every frame is trimmed before the next one follows it in the same call.
void ExpectFrames(const std::vector<Bytes>& frames, const Decoded& decoded) {
  Bytes sent;
  std::vector<size_t> frame_of_byte;
  for (size_t i = 0; i < frames.size(); ++i) {
    sent.insert(sent.end(), frames[i].begin(), frames[i].end());
    frame_of_byte.insert(frame_of_byte.end(), frames[i].size(), i);
  }
  Bytes received;
  for (const Bytes& output : decoded.outputs)
    received.insert(received.end(), output.begin(), output.end());
  const auto [at, unused] =
      std::mismatch(sent.begin(), sent.end(), received.begin(), received.end());
  if (at != sent.end()) {
    const size_t offset = at - sent.begin();
    ADD_FAILURE() << "frame " << frame_of_byte[offset] + 1 << " of " << frames.size()
                  << " differs from byte " << offset << " of the stream on; received "
                  << received.size() << " of " << sent.size() << " bytes in "
                  << decoded.outputs.size() << " outputs";
  }
  EXPECT_EQ(received.size(), sent.size());
  EXPECT_LE(decoded.outputs.size(), frames.size());
}

struct AudioCase {
  int rate;
  bool invert;
  double drift_ppm;
};

void PrintTo(const AudioCase& c, std::ostream* os) {
  *os << c.rate << " Hz, " << (c.invert ? "inverted" : "normal") << ", " << c.drift_ppm << " ppm";
}

class AudioRoundTripTest : public ::testing::TestWithParam<AudioCase> {};

TEST_P(AudioRoundTripTest, NoisyDriftingRecordingReadsBackEveryFrame) {
  const AudioCase& c = GetParam();
  const std::vector<Bytes> frames = RandomFrames(kFrames, c.rate + c.invert);
  SignalOptions options;
  options.snr_db = 15.0;
  options.drift_ppm = c.drift_ppm;
  options.invert = c.invert;
  options.seed = 11;
  ExpectFrames(frames,
               DecodeAudio(RenderPcm(TimelineOf(frames), options, c.rate), c.rate, c.invert));
}

INSTANTIATE_TEST_SUITE_P(
    RatesAndPolarities, AudioRoundTripTest,
    ::testing::Values(AudioCase{44100, false, 200.0}, AudioCase{44100, true, -200.0},
                      AudioCase{22050, false, -200.0}, AudioCase{22050, true, 200.0}),
    [](const ::testing::TestParamInfo<AudioCase>& info) {
      return std::to_string(info.param.rate) + (info.param.invert ? "Inverted" : "Normal");
    });

TEST(AudioRoundTripTest, CleanSignalNeedsNoCorrection) {
  const std::vector<Bytes> frames = RandomFrames(10, 5);
  SignalOptions options;
  options.offset = 12.0;
  const Decoded decoded = DecodeAudio(RenderPcm(TimelineOf(frames), options, 44100), 44100, false);
  ExpectFrames(frames, decoded);
  EXPECT_EQ(decoded.corrections, 0);
}

TEST(Rm100RoundTripTest, BothPolarities) {
  for (bool invert : {false, true}) {
    SCOPED_TRACE(invert ? "inverted" : "normal");
    const std::vector<Bytes> frames = RandomFrames(kFrames, 21 + invert);
    SignalOptions options;
    options.snr_db = 15.0;
    options.drift_ppm = invert ? -200.0 : 200.0;
    options.invert = invert;
    ExpectFrames(frames, DecodeRm100(RenderRm100(TimelineOf(frames), options), invert));
  }
}

TEST(SlicerRoundTripTest, BothPolarities) {
  for (bool invert : {false, true}) {
    SCOPED_TRACE(invert ? "inverted" : "normal");
    const std::vector<Bytes> frames = RandomFrames(kFrames, 31 + invert);
    SignalOptions options;
    options.snr_db = 15.0;
    options.drift_ppm = invert ? 200.0 : -200.0;
    options.invert = invert;
    ExpectFrames(frames, DecodeSlicer(RenderSlicer(TimelineOf(frames), options), invert));
  }
}

}  // namespace
}  // namespace mdcgen
