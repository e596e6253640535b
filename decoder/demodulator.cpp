#include "decoder/demodulator.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

namespace sieve {
namespace {

constexpr double kNoClock = -1.0;
constexpr int64_t kFar = -1000;  // a sample index too far back to block a decision

int8_t ApplyMask(int8_t sample, int32_t mask) {
  return mask == 0 ? sample : int8_t(uint8_t(sample) & uint8_t(mask));
}

// Truncates toward zero, saturating, so that absurd rates cannot overflow.
int64_t Truncate(double value) {
  if (!(value > -9.0e18)) return std::isnan(value) ? 0 : std::numeric_limits<int64_t>::min();
  if (value > 9.0e18) return std::numeric_limits<int64_t>::max();
  return int64_t(value);
}

// Audio samples are masked in place, as the caller expects.
struct AudioSamples {
  int8_t* data;
  int8_t Received(int i) const { return data[i]; }
  int8_t Load(int i, int32_t mask) {
    if (mask != 0) data[i] = ApplyMask(data[i], mask);
    return data[i];
  }
};

// RM100 bytes: eight samples each, the first in the least significant bit; a set bit is 127.
// They are expanded on the fly rather than into working memory.
struct RM100Samples {
  const uint8_t* bytes;
  int8_t Received(int i) const { return (bytes[i >> 3] >> (i & 7)) & 1 ? 127 : 0; }
  int8_t Load(int i, int32_t mask) const { return ApplyMask(Received(i), mask); }
};

}  // namespace

int32_t Demodulator::AudioToBytes(int8_t* samples, int32_t count, const Call& call) {
  if (samples == nullptr) count = 0;
  return Decode(AudioSamples{samples}, count, call);
}

int32_t Demodulator::RM100BytesToBytes(const uint8_t* input, int32_t count, const Call& call) {
  if (input == nullptr || count < 0) count = 0;
  // Eight samples a byte must still count as a 32-bit sample count.
  if (count > std::numeric_limits<int32_t>::max() / 8) {
    if (call.quality) *call.quality = 0;
    return 0;
  }
  return Decode(RM100Samples{input}, count * 8, call);
}

void Demodulator::ReInit() {
  mask_ = kInitialMask;
  mask_cycle_position_ = 0;
  threshold_known_ = false;
}

template <class Samples>
void Demodulator::Capture(const Samples& samples, int32_t count) {
  try {
    capture_.raw.resize(size_t(count));
    capture_.masked.resize(size_t(count));
    capture_.marks.assign(size_t(count), 0);
  } catch (const std::bad_alloc&) {
    capture_ = CaptureBlock{};
    capture_pending_ = false;
    return;
  }
  for (int i = 0; i < count; ++i) {
    const int8_t sample = samples.Received(i);
    capture_.raw[size_t(i)] = int8_t(int(uint8_t(sample)) - 128);
    capture_.masked[size_t(i)] = ApplyMask(sample, mask_);
  }
  capture_.threshold = threshold_;
  capture_pending_ = true;
}

template <class Samples>
bool Demodulator::SearchThreshold(Samples& samples, int32_t count) {
  mask_cycle_position_ = mask_cycle_position_ % int(kMaskCycle.size()) + 1;
  mask_ = kMaskCycle[size_t(mask_cycle_position_ - 1)];

  std::array<int32_t, 256> histogram{};
  for (int i = 0; i < count; ++i) ++histogram[size_t(samples.Load(i, mask_) + 128)];

  // Downward from the top: the upper cluster starts at the first full bin; the lower cluster's
  // top is the next full bin once enough empty bins have been passed.
  int lower = -1;
  int run = 0;
  for (int bin = 255; bin >= 1; --bin) {
    const int32_t n = histogram[size_t(bin)];
    if (run == 0) {
      if (n > kClusterMinimum) run = 1;
    } else if (n == 0) {
      ++run;
    } else if (n > kClusterMinimum && run > kClusterGap) {
      lower = bin;
      break;
    }
  }
  if (lower < 0) {
    if (histogram[0] <= kClusterMinimum) return false;
    lower = 0;
  }
  int upper = lower + 1;
  while (upper <= 255 && histogram[size_t(upper)] <= kClusterMinimum) ++upper;
  if (upper > 255) return false;

  threshold_ = ((upper - 128) + (lower - 128)) / 2;
  threshold_known_ = true;
  return true;
}

void Demodulator::RestartClock(double rate, int32_t baud) {
  samples_per_bit_ = rate / baud;
  next_sampling_time_ = kNoClock;
  sample_history_.fill(0);
  decision_history_ = 0;
  current_decision_ = -1;
  previous_rate_ = rate;
}

template <class Samples>
int32_t Demodulator::Decode(Samples samples, int32_t count, const Call& call) {
  if (count < 0) count = 0;
  if (call.capture) Capture(samples, count);

  frames_.BeginCall(call.output);
  if (call.quality) *call.quality = 0;
  if (call.rate <= 0 || call.baud <= 0 || call.output == nullptr) return 0;
  if (!threshold_known_ && !SearchThreshold(samples, count)) return 0;

  const double rate = call.rate;
  if (rate != previous_rate_) RestartClock(rate, call.baud);

  const double spb = samples_per_bit_;
  const int32_t mask = mask_;
  const int threshold = threshold_;
  const int32_t above = call.above;
  const int32_t below = call.below;
  // A decision needs the previous m - 1 samples (m = half a bit) not to lie on the other side.
  const int64_t half_bit = Truncate(spb * 0.5);
  const bool decisions_update = half_bit >= 1;
  const int window = int(std::min<int64_t>(half_bit - 1, kSampleHistory - 1));
  const int64_t spb_ten_thousandths = Truncate(spb * 10000);

  // Where the last samples strictly above and below the threshold lie, from the history on.
  int64_t last_above = kFar;
  int64_t last_below = kFar;
  for (int j = kSampleHistory - 1; j >= 0; --j) {
    if (sample_history_[size_t(j)] > threshold) last_above = -1 - j;
    if (sample_history_[size_t(j)] < threshold) last_below = -1 - j;
  }

  int32_t decision = current_decision_;
  uint64_t decisions = decision_history_;
  double next_time = next_sampling_time_;
  int64_t high_count = 0;
  uint8_t* marks = call.capture && capture_pending_ ? capture_.marks.data() : nullptr;

  for (int i = 0; i < count; ++i) {
    const int s = samples.Load(i, mask);
    if (decisions_update) {
      if (s < threshold) {
        if (i - last_above > window) decision = below;
        last_below = i;
      } else if (s > threshold) {
        if (i - last_below > window) decision = above;
        last_above = i;
      } else {
        decision = above;
      }
    }
    decisions = (decisions << 1) | (decision == above ? 1 : 0);

    if ((decisions & 3) == 2) {
      // A run of above decisions has just ended: re-centre the clock on it.
      const int run = std::min(std::countr_one(decisions >> 1), kMaxRun);
      const double ratio = run / spb;
      if (ratio > 0.5 && ratio < 1.5) {
        const double centred = i - (run + 1) / 2.0 + spb;
        const bool jumped_ahead = centred - next_time >= 0.5;
        next_time = centred;
        if (jumped_ahead) continue;
      } else if (spb_ten_thousandths > 100000 && (run * 10000) % spb_ten_thousandths > 100000) {
        const double whole_bits = double(Truncate(run / spb));
        next_time = i - (run - whole_bits * spb) / 2 - 1 + spb;
      }
    }

    if (next_time - i < 1.0 && next_time != kNoClock) {
      frames_.ProcessBit(uint8_t(decision & 0xFF));
      next_time += spb;
      if (decision == above) ++high_count;
      if (marks) marks[i] = 1;
    }
  }

  for (int j = kSampleHistory - 1; j >= 0; --j) {
    sample_history_[size_t(j)] =
        j < count ? samples.Load(count - 1 - j, mask) : sample_history_[size_t(j - count)];
  }
  current_decision_ = decision;
  decision_history_ = decisions;
  if (next_time != kNoClock) next_time -= count;
  next_sampling_time_ = next_time;

  if (call.corrections) *call.corrections = frames_.corrections();
  const int64_t whole_spb = Truncate(spb);
  const int64_t bit_periods = whole_spb > 0 ? count / whole_spb : 0;
  const int64_t quality = bit_periods > 0 ? high_count * 100 / bit_periods : 0;
  if (call.quality) *call.quality = int32_t(std::min<int64_t>(quality, 1000000));
  if (quality < kMinQuality || quality > kMaxQuality) threshold_known_ = false;
  return frames_.output_count();
}

int32_t Demodulator::SignalInformation(int32_t count, uint8_t* raw_positive, uint8_t* raw_negative,
                                       uint8_t* masked_positive, uint8_t* masked_negative,
                                       uint8_t* marks, int32_t* threshold) {
  if (threshold) *threshold = capture_pending_ ? capture_.threshold : threshold_;
  if (!capture_pending_) return 0;
  const int32_t n = std::clamp<int32_t>(count, 0, int32_t(capture_.raw.size()));
  const auto split = [](int8_t value, uint8_t* positive, uint8_t* negative, int i) {
    if (positive) positive[i] = value > 0 ? uint8_t(value) : 0;
    if (negative) negative[i] = value > 0 ? 0 : uint8_t(std::abs(int(value)));
  };
  for (int i = 0; i < n; ++i) {
    split(capture_.raw[size_t(i)], raw_positive, raw_negative, i);
    split(capture_.masked[size_t(i)], masked_positive, masked_negative, i);
    if (marks) marks[i] = capture_.marks[size_t(i)];
  }
  capture_ = CaptureBlock{};
  capture_pending_ = false;
  return n;
}

}  // namespace sieve
