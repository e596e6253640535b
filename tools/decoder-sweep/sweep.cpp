#include "sweep.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "decoder/decoder.h"

namespace sweep {
namespace {

using mdcgen::Bytes;

constexpr size_t kGroup = sieve::FrameDecoder::kGroupBytes;
constexpr int32_t kBaud = 4800;
// Silences of a squelched channel last this long at most: dispatch traffic pauses for seconds.
constexpr double kLongestSquelchedGap = 4.0;
constexpr double kSquelchFloorDb = 40.0;
// Pure noise is rendered and decoded this many seconds at a time.
constexpr double kNoisePiece = 60.0;

// In [0, 1) from the raw engine output: the standard distributions differ between libraries, and
// the table must not.
double Unit(std::mt19937_64& engine) { return static_cast<double>(engine() >> 11) * 0x1.0p-53; }

sieve::SlicerDevice* NoDevice(std::string_view) { return nullptr; }

size_t Padded(size_t bytes) { return (bytes + kGroup - 1) / kGroup * kGroup; }

std::string Key(const uint8_t* bytes, size_t count) {
  return {reinterpret_cast<const char*>(bytes), count};
}

// One decoder of either kind behind one call shape; the audio block is copied first, because the
// exact decoder masks its samples in place.
class Receiver {
 public:
  explicit Receiver(DecoderKind kind) : kind_(kind), decoder_(NoDevice) {}

  size_t Audio(const uint8_t* samples, size_t count, int rate) {
    block_.assign(samples, samples + count);
    output_.resize(count / 6 + 2 * sieve::FrameDecoder::kMaxFrameOutput);
    auto* s = reinterpret_cast<int8_t*>(block_.data());
    const auto n = static_cast<int32_t>(count);
    int32_t corrections = 0;
    int32_t quality = 0;
    const int32_t written = kind_ == DecoderKind::kExact
                                ? decoder_.AudioToBytes(s, n, output_.data(), rate, kBaud, '1', '0',
                                                        &corrections, &quality, 0)
                                : decoder_.RobustAudioToBytes(s, n, output_.data(), rate, kBaud,
                                                              '1', '0', &corrections, &quality, 0);
    return static_cast<size_t>(std::max(written, 0));
  }

  size_t Rm100(const uint8_t* bytes, size_t count) {
    output_.resize(8 * count / 6 + 2 * sieve::FrameDecoder::kMaxFrameOutput);
    const auto n = static_cast<int32_t>(count);
    const int32_t rate = mdcgen::kRm100SampleRate;
    int32_t corrections = 0;
    int32_t quality = 0;
    const int32_t written =
        kind_ == DecoderKind::kExact
            ? decoder_.RM100BytesToBytes(bytes, n, output_.data(), rate, kBaud, '1', '0',
                                         &corrections, &quality, 0)
            : decoder_.RobustRM100BytesToBytes(bytes, n, output_.data(), rate, kBaud, '1', '0',
                                               &corrections, &quality, 0);
    return static_cast<size_t>(std::max(written, 0));
  }

  const uint8_t* output() const { return output_.data(); }

 private:
  DecoderKind kind_;
  sieve::Decoder decoder_;
  std::vector<uint8_t> block_;
  std::vector<uint8_t> output_;
};

// Every sample of the RM100 stream inverted with probability `p`, from `seed`.
void FlipSamples(std::vector<uint8_t>& bytes, double p, uint64_t seed) {
  if (p <= 0.0) return;
  std::mt19937_64 engine(seed);
  for (uint8_t& byte : bytes) {
    for (int bit = 0; bit < 8; ++bit) {
      if (Unit(engine) < p) byte ^= 1 << bit;
    }
  }
}

// Feeds `signal` in Kestrel's block sizes, the last block possibly short.
template <class Call>
void Feed(const std::vector<uint8_t>& signal, size_t block, Call call) {
  for (size_t at = 0; at < signal.size(); at += block) {
    call(signal.data() + at, std::min(block, signal.size() - at));
  }
}

}  // namespace

const char* DecoderName(DecoderKind kind) {
  return kind == DecoderKind::kExact ? "exact" : "robust";
}

std::vector<Bytes> SweepFrames(size_t count, size_t bytes, uint64_t seed) {
  std::mt19937_64 engine(seed);
  std::unordered_set<std::string> seen;
  std::vector<Bytes> frames;
  frames.reserve(count);
  while (frames.size() < count) {
    Bytes frame(bytes);
    for (uint8_t& byte : frame) byte = static_cast<uint8_t>(engine() >> 56);
    if (frame.back() == 0) continue;
    if (!mdcgen::FalseSyncs(mdcgen::EncodeFrame(frame)).empty()) continue;
    if (!seen.insert(Key(frame.data(), frame.size())).second) continue;
    frames.push_back(std::move(frame));
  }
  return frames;
}

Tally::Tally(const std::vector<Bytes>& sent) : received_(sent.size(), false) {
  for (size_t i = 0; i < sent.size(); ++i) {
    index_.emplace(Key(sent[i].data(), sent[i].size()), i);
    if (std::find(lengths_.begin(), lengths_.end(), sent[i].size()) == lengths_.end()) {
      lengths_.push_back(sent[i].size());
    }
  }
}

void Tally::Add(const uint8_t* output, size_t count) {
  bool in_wrong_run = false;
  size_t at = 0;
  while (at < count) {
    size_t matched = 0;
    for (size_t length : lengths_) {
      if (at + length > count) continue;
      const auto found = index_.find(Key(output + at, length));
      if (found == index_.end()) continue;
      const size_t padding_end = std::min(count, at + Padded(length));
      if (!std::all_of(output + at + length, output + padding_end,
                       [](uint8_t byte) { return byte == 0; })) {
        continue;
      }
      received_[found->second] = true;
      matched = padding_end - at;
      break;
    }
    if (matched == 0) {
      in_wrong_run = true;
      at += kGroup;
      continue;
    }
    if (in_wrong_run) ++wrong_;
    in_wrong_run = false;
    at += matched;
  }
  if (in_wrong_run) ++wrong_;
}

Score Tally::score() const {
  Score score;
  score.sent = received_.size();
  score.intact = static_cast<size_t>(std::count(received_.begin(), received_.end(), true));
  score.wrong = wrong_;
  return score;
}

Score Measure(const Point& point, DecoderKind kind) {
  const std::vector<Bytes> frames = SweepFrames(point.frames, point.frame_bytes, point.frame_seed);
  std::vector<mdcgen::Transmission> transmissions;
  transmissions.reserve(frames.size());
  std::mt19937_64 engine(point.frame_seed + 1);
  for (const Bytes& frame : frames) {
    transmissions.push_back({frame, point.gap + (point.longest_gap - point.gap) * Unit(engine)});
  }
  const mdcgen::Timeline timeline = mdcgen::ComposeTimeline(transmissions, point.gap);

  Tally tally(frames);
  Receiver receiver(kind);
  if (point.input == Input::kAudio) {
    const std::vector<uint8_t> pcm = mdcgen::RenderPcm(timeline, point.signal, point.rate);
    Feed(pcm, kAudioBlock, [&](const uint8_t* block, size_t count) {
      tally.Add(receiver.output(), receiver.Audio(block, count, point.rate));
    });
  } else {
    std::vector<uint8_t> bytes = mdcgen::RenderRm100(timeline, point.signal);
    FlipSamples(bytes, point.flip_probability, point.signal.seed);
    Feed(bytes, kRm100Block, [&](const uint8_t* block, size_t count) {
      tally.Add(receiver.output(), receiver.Rm100(block, count));
    });
  }
  Score score = tally.score();
  score.signal_seconds = timeline.Seconds();
  return score;
}

size_t NoiseFrames(int rate, double seconds, DecoderKind kind, uint64_t seed) {
  Receiver receiver(kind);
  const std::vector<Bytes> none;
  Tally tally(none);  // with nothing sent, every delivery is wrong
  const auto count = [&](size_t bytes) { tally.Add(receiver.output(), bytes); };
  std::mt19937_64 bits(seed);
  for (double done = 0.0; done < seconds; done += kNoisePiece) {
    const double piece = std::min(kNoisePiece, seconds - done);
    if (rate == 0) {
      std::vector<uint8_t> bytes(static_cast<size_t>(piece * mdcgen::kRm100SampleRate / 8));
      for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(bits() >> 56);
      Feed(bytes, kRm100Block,
           [&](const uint8_t* block, size_t n) { count(receiver.Rm100(block, n)); });
      continue;
    }
    mdcgen::Timeline rest;
    rest.AppendRest(piece);
    mdcgen::SignalOptions options;
    options.snr_db = 0.0;  // standard deviation 40, the default amplitude
    options.seed = seed + static_cast<uint64_t>(done / kNoisePiece);
    const std::vector<uint8_t> pcm = mdcgen::RenderPcm(rest, options, rate);
    Feed(pcm, kAudioBlock,
         [&](const uint8_t* block, size_t n) { count(receiver.Audio(block, n, rate)); });
  }
  return tally.score().wrong;
}

std::vector<Point> StandardPoints(size_t frames) {
  std::vector<Point> points;
  const auto add = [&](std::string name, Input input, int rate, mdcgen::SignalOptions signal,
                       double flips = 0.0) {
    Point point;
    point.name = std::move(name);
    point.input = input;
    point.rate = rate;
    point.signal = signal;
    point.flip_probability = flips;
    point.frames = frames;
    points.push_back(std::move(point));
  };
  const auto snr_name = [](std::optional<double> snr) {
    if (!snr) return std::string("no noise");
    return std::to_string(static_cast<int>(*snr)) + " dB";
  };
  uint64_t seed = 1;
  for (int rate : {44100, 22050}) {
    const std::string hz = std::to_string(rate);
    for (double snr : {-4, -3, -2, -1, 0, 1, 2, 3, 4, 6, 8, 10, 12, 15, 20, 25, 30, 40}) {
      mdcgen::SignalOptions signal;
      signal.snr_db = snr;
      signal.seed = seed++;
      add("flat " + hz + " " + snr_name(snr), Input::kAudio, rate, signal);
    }
    for (std::optional<double> snr : {std::optional<double>(12), {18}, {24}, {30}, {40}, {}}) {
      mdcgen::SignalOptions signal;
      signal.snr_db = snr;
      signal.squelch = true;
      // A quiet floor, not silence: a rest level that flickers by a step is what loses frames.
      if (snr) signal.squelch_floor_db = kSquelchFloorDb;
      signal.seed = seed++;
      add("squelch " + hz + " " + snr_name(snr), Input::kAudio, rate, signal);
      points.back().longest_gap = kLongestSquelchedGap;
    }
    for (std::optional<double> snr : {std::optional<double>(6), {9}, {12}, {15}, {20}, {30}, {}}) {
      mdcgen::SignalOptions signal;
      signal.snr_db = snr;
      signal.speaker = true;
      signal.seed = seed++;
      add("speaker " + hz + " " + snr_name(snr), Input::kAudio, rate, signal);
    }
  }
  for (double flips : {0.0, 0.001, 0.01, 0.02, 0.05}) {
    mdcgen::SignalOptions signal;
    signal.seed = seed++;
    std::string name = "rm100 clean";
    if (flips > 0.0) {
      char percent[32];
      std::snprintf(percent, sizeof percent, "rm100 flips %g%%", flips * 100.0);
      name = percent;
    }
    add(name, Input::kRm100, 0, signal, flips);
  }
  return points;
}

}  // namespace sweep
