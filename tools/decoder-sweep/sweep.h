#pragma once

// Measures the decoders on generated signals: how many frames come back byte for byte, and how
// many deliveries match no frame that was sent. Everything runs in memory on one thread, from
// fixed seeds, so every figure is reproducible.

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "mdcgen/frame_encoder.h"
#include "mdcgen/signal.h"

namespace sweep {

enum class DecoderKind { kExact, kRobust };

// Both decoders are sieve::Decoder's: the exact one through AudioToBytes and RM100BytesToBytes,
// the robust one through RobustAudioToBytes and RobustRM100BytesToBytes, a fresh one per run.
const char* DecoderName(DecoderKind kind);

enum class Input { kAudio, kRm100 };

struct Point {
  std::string name;  // unique; also what --points selects by
  Input input = Input::kAudio;
  int rate = 44100;  // audio only
  mdcgen::SignalOptions signal;
  double flip_probability = 0.0;  // RM100 only: each sample inverted with this probability
  size_t frames = 200;
  size_t frame_bytes = 30;
  // Seconds of rest before every frame, drawn evenly from gap..longest_gap, and gap after the last.
  double gap = 0.5;
  double longest_gap = 0.5;
  uint64_t frame_seed = 4800;
};

struct Score {
  size_t sent = 0;
  size_t intact = 0;  // distinct frames sent that came back byte for byte
  size_t wrong = 0;   // deliveries that match no frame sent
  double signal_seconds = 0.0;
};

// Kestrel's block sizes: 8192 audio samples, 960 RM100 bytes (0.4 s) a call.
inline constexpr size_t kAudioBlock = 8192;
inline constexpr size_t kRm100Block = 960;

// `count` distinct frames of `bytes` random bytes (6 to 999), each ending in a non-zero byte and
// free of false sync words, so that a receiver can hand every one back exactly.
std::vector<mdcgen::Bytes> SweepFrames(size_t count, size_t bytes, uint64_t seed);

// Sends the point's frames through its signal and one fresh decoder of `kind`.
Score Measure(const Point& point, DecoderKind kind);

// Frames delivered from `seconds` of pure noise (standard deviation 40 PCM steps for audio,
// random bits for RM100) through a fresh decoder; rate 0 means RM100. Rendered in pieces, so
// memory stays small however long the run.
size_t NoiseFrames(int rate, double seconds, DecoderKind kind, uint64_t seed);

// The standard table: flat audio with noise between transmissions from -4 to 40 dB, squelched
// audio from 12 dB to no noise (a floor 40 dB down between transmissions, pauses of 0.5 to 4 s),
// speaker audio, RM100 clean and with sample flips; both rates.
// `frames` frames of 30 bytes a point.
std::vector<Point> StandardPoints(size_t frames);

// The frames found in the decoders' call outputs. Each frame's bytes start on an 18-byte group of
// its call's output and are padded with zeros to whole groups; trailing zeros of a call's output
// may be trimmed. A run of bytes that holds no sent frame counts as one wrong delivery.
class Tally {
 public:
  explicit Tally(const std::vector<mdcgen::Bytes>& sent);
  void Add(const uint8_t* output, size_t count);
  Score score() const;

 private:
  std::unordered_map<std::string, size_t> index_;  // a frame's bytes to its position in `sent`
  std::vector<size_t> lengths_;                    // of the frames sent, each once
  std::vector<bool> received_;
  size_t wrong_ = 0;
};

}  // namespace sweep
