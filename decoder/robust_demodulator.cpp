#include "decoder/robust_demodulator.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <type_traits>
#include <utility>

namespace sieve {
namespace {

// Loop gains per bit. Acquisition must lock within the 48-bit preamble; inside a frame a narrower
// loop lets less noise into the clock.
constexpr float kAcquireGain = 0.15f;
constexpr float kTrackGain = 0.05f;
constexpr float kFrequencyShare = 0.02f;  // of the phase gain
constexpr double kMaxFrequencyError = 0.005;
// Level tracking per bit: the running mean outside a frame, decision-directed inside one.
constexpr float kMeanGain = 1.0f / 16;
constexpr float kDirectedGain = 1.0f / 64;
constexpr float kAmplitudeGain = 1.0f / 32;
constexpr float kFeedbackGain = 0.01f;
constexpr float kTailShare = 0.4f;  // of the amplitude
constexpr float kRestShare = 0.3f;  // of the amplitude
constexpr uint32_t kPreambleMask = 0xFFFF;
constexpr int kTrainingBits = 200;
constexpr float kMinAmplitude = 1.0f;  // per tap, in sample units
constexpr int kSliceLevel = 64;        // an RM100 sample reads as +-64
// The matched filter spans a little less than a bit: that tolerates clock jitter and the edges a
// band-limited channel smears into the next bit better than it loses signal.
constexpr double kFilterShare = 0.9;

struct AudioInput {
  const int8_t* data;
  // Distance below the 128 rest level, so that `above` is the positive side.
  int Read(int i) const { return 128 - int(uint8_t(data[i])); }
  int8_t Raw(int i) const { return int8_t(int(uint8_t(data[i])) - 128); }
  // The capture shows the samples as read, with the level on the same scale.
  int8_t Shown(int i) const { return int8_t(std::min(Read(i), 127)); }
  static constexpr int kShownLevel = 0;
};

struct RM100Input {
  const uint8_t* bytes;
  bool Bit(int i) const { return (bytes[i >> 3] >> (i & 7)) & 1; }
  int Read(int i) const { return Bit(i) ? kSliceLevel : -kSliceLevel; }
  // As the exact decoder captures the expanded samples 127 and 0, sliced at 63.
  int8_t Raw(int i) const { return Bit(i) ? int8_t(-1) : int8_t(-128); }
  int8_t Shown(int i) const { return Bit(i) ? int8_t(127) : int8_t(0); }
  static constexpr int kShownLevel = 63;
};

// +1 when `above` is a one bit and `below` is not, -1 the other way round; 0 when both symbols are
// the same bit, which is then `constant_bit` whatever the signal.
int Polarity(int32_t above, int32_t below, bool& constant_bit) {
  const bool above_one = (above & 0xFF) == '1';
  const bool below_one = (below & 0xFF) == '1';
  constant_bit = above_one;
  if (above_one == below_one) return 0;
  return above_one ? 1 : -1;
}

}  // namespace

int32_t RobustDemodulator::AudioToBytes(const int8_t* samples, int32_t count, const Call& call) {
  if (samples == nullptr || count < 0) count = 0;
  return Decode(AudioInput{samples}, count, call);
}

int32_t RobustDemodulator::RM100BytesToBytes(const uint8_t* input, int32_t count,
                                             const Call& call) {
  if (input == nullptr || count < 0) count = 0;
  if (count > std::numeric_limits<int32_t>::max() / 8) {
    if (call.quality) *call.quality = 0;
    return 0;
  }
  return Decode(RM100Input{input}, count * 8, call);
}

void RobustDemodulator::ReInit() {
  level_ = 0.0f;
  amplitude_ = 0.0f;
  feedback_.fill(0.0f);
}

void RobustDemodulator::Restart(double rate, int32_t baud) {
  rate_ = rate;
  baud_ = baud;
  samples_per_bit_ = rate / baud;
  length_ = std::clamp(int(samples_per_bit_ * kFilterShare), 1, int(taps_.size()));
  taps_.fill(0);
  tap_position_ = 0;
  running_sum_ = 0;
  filtered_.fill(0.0f);
  index_ = 0;
  period_ = samples_per_bit_;
  next_strobe_ = samples_per_bit_;
  previous_ = 0.0f;
  ReInit();
  decisions_.fill(0.0f);
}

float RobustDemodulator::FilterAt(double time) const {
  const double floor = std::floor(time);
  const auto i = int64_t(floor);
  const float fraction = float(time - floor);
  const float a = filtered_[size_t(i & (kHistory - 1))];
  const float b = filtered_[size_t((i + 1) & (kHistory - 1))];
  return a + fraction * (b - a);
}

float RobustDemodulator::Strobe(double time, bool sliced) {
  // Speaker audio is AC-coupled: each bit leaves a decaying tail on the ones after it. The
  // feedback taps learn that tail from the decisions already made and take it off.
  float feedback = 0.0f;
  for (int j = 0; j < kFeedbackTaps; ++j) feedback += feedback_[size_t(j)] * decisions_[size_t(j)];
  // The taps are applied only once they have learned a tail worth taking off; on a flat channel
  // they stay out, so that their own adaptation noise costs nothing.
  const float full_feedback = feedback;
  float tail = 0.0f;
  for (float tap : feedback_) tail -= tap;
  if (!(tail > kTailShare * amplitude_)) feedback = 0.0f;
  const float plain = FilterAt(time) - level_;
  const float value = plain - feedback;
  const float middle = FilterAt(time - period_ / 2) - level_ - feedback;
  const bool in_frame = frames_.in_frame();

  // Gardner: across a transition the value halfway between two bit ends is zero when the clock
  // is right; its sign, against the transition's direction, says early or late.
  const float floor = kMinAmplitude * float(length_);
  const float scale = std::max(amplitude_, floor);
  const float error = std::clamp((previous_ - value) * middle / (scale * scale), -1.0f, 1.0f);
  const float gain = (in_frame ? kTrackGain : kAcquireGain) * float(length_) / 4;
  period_ += gain * kFrequencyShare * error;
  period_ = std::clamp(period_, samples_per_bit_ * (1 - kMaxFrequencyError),
                       samples_per_bit_ * (1 + kMaxFrequencyError));
  next_strobe_ = time + period_ + gain * error;
  previous_ = value;

  const float decision = value >= 0.0f ? 1.0f : -1.0f;
  hard_history_ = (hard_history_ << 1) | (decision > 0.0f ? 1u : 0u);
  // A preamble (alternating bits) opens a training window for the taps ahead of the sync word.
  if (((hard_history_ ^ (hard_history_ >> 1)) & kPreambleMask) == kPreambleMask) {
    training_bits_ = kTrainingBits;
  } else if (training_bits_ > 0) {
    --training_bits_;
  }
  if (!sliced) {
    const float residual = value - decision * amplitude_;
    if (in_frame) {
      level_ += kDirectedGain * residual;
    } else {
      level_ += kMeanGain * plain;
    }
    if (in_frame || training_bits_ > 0) {
      // Learned against the taps' own output, whether or not it is in use yet.
      const float learned = plain - full_feedback;
      const float learned_residual = learned - (learned >= 0.0f ? amplitude_ : -amplitude_);
      for (int j = 0; j < kFeedbackTaps; ++j) {
        feedback_[size_t(j)] += kFeedbackGain * learned_residual * decisions_[size_t(j)];
      }
    }
  }
  std::copy_backward(decisions_.begin(), decisions_.end() - 1, decisions_.end());
  // The rest level between transmissions leaves no tail; as +-1 it would make the taps build one.
  decisions_[0] = std::fabs(value) < std::max(kRestShare * amplitude_, floor) ? 0.0f : decision;
  amplitude_ += kAmplitudeGain * (std::fabs(value) - amplitude_);
  return value;
}

template <class Samples>
int32_t RobustDemodulator::Decode(const Samples& samples, int32_t count, const Call& call) {
  constexpr bool kSliced = std::is_same_v<Samples, RM100Input>;
  frames_.BeginCall(call.output);
  if (call.quality) *call.quality = 0;

  Demodulator::CaptureBlock capture;
  bool capturing = false;
  if (call.capture) {
    try {
      capture.raw.resize(size_t(count));
      capture.masked.resize(size_t(count));
      capture.marks.assign(size_t(count), 0);
      capturing = true;
    } catch (const std::bad_alloc&) {
      capture = {};
    }
  }
  const auto keep_capture = [&] {
    if (!capturing) return;
    for (int i = 0; i < count; ++i) {
      capture.raw[size_t(i)] = samples.Raw(i);
      capture.masked[size_t(i)] = samples.Shown(i);
    }
    capture.threshold = Samples::kShownLevel + int32_t(std::lround(level()));
    capture_store_.KeepCapture(std::move(capture));
  };

  const double spb = call.baud > 0 ? double(call.rate) / call.baud : 0.0;
  if (call.output == nullptr || call.rate <= 0 || call.baud <= 0 || !(spb >= kMinSamplesPerBit) ||
      !(spb <= kMaxSamplesPerBit)) {
    keep_capture();
    return 0;
  }
  if (call.rate != rate_ || call.baud != baud_) Restart(call.rate, call.baud);

  bool constant_bit = false;
  const int polarity = Polarity(call.above, call.below, constant_bit);
  int64_t above_bits = 0;

  for (int i = 0; i < count; ++i) {
    const int x = samples.Read(i);
    running_sum_ += x - taps_[size_t(tap_position_)];
    taps_[size_t(tap_position_)] = x;
    if (++tap_position_ == length_) tap_position_ = 0;
    filtered_[size_t(index_ & (kHistory - 1))] = float(running_sum_);

    // A clock left far behind (it can only be after a restart) takes up the present.
    if (next_strobe_ < double(index_) - kHistory / 2) next_strobe_ = double(index_);
    if (next_strobe_ <= double(index_)) {
      const float value = Strobe(next_strobe_, kSliced);
      if (value >= 0.0f) ++above_bits;
      const float soft = polarity != 0
                             ? float(polarity) * value
                             : (constant_bit ? 1.0f : -1.0f) * std::max(std::fabs(value), 1.0f);
      frames_.ProcessSoftBit(soft);
      if (capturing) capture.marks[size_t(i)] = 1;
    }
    ++index_;
  }

  keep_capture();
  if (call.corrections) *call.corrections = frames_.corrections();
  const int64_t whole_spb = int64_t(samples_per_bit_);
  const int64_t bit_periods = whole_spb > 0 ? count / whole_spb : 0;
  if (call.quality && bit_periods > 0) {
    *call.quality = int32_t(std::min<int64_t>(above_bits * 100 / bit_periods, 100));
  }
  return frames_.output_count();
}

}  // namespace sieve
