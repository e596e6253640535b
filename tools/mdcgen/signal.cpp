#include "mdcgen/signal.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>

namespace mdcgen {
namespace {

constexpr double kMaxAmplitude = 64.0;
constexpr double kMaxOffset = 64.0;
constexpr double kMaxDriftPpm = 100000.0;
constexpr double kMinSnr = -20.0;
constexpr double kMaxSnr = 120.0;

// Box-Muller over the raw engine output, so the noise does not depend on how a standard library
// implements its distributions.
class Gaussian {
 public:
  explicit Gaussian(uint64_t seed) : engine_(seed) {}

  double Next() {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    const double radius = std::sqrt(-2.0 * std::log(Uniform()));
    const double angle = 2.0 * std::numbers::pi * Uniform();
    spare_ = radius * std::sin(angle);
    has_spare_ = true;
    return radius * std::cos(angle);
  }

 private:
  // In (0, 1], so the logarithm stays finite.
  double Uniform() { return static_cast<double>((engine_() >> 11) + 1) * 0x1.0p-53; }

  std::mt19937_64 engine_;
  double spare_ = 0.0;
  bool has_spare_ = false;
};

// Keeps the noise independent of the random frames, which are drawn from the seed itself.
uint64_t NoiseSeed(uint64_t seed) {
  uint64_t z = seed + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double SigmaBelow(double amplitude, std::optional<double> db) {
  return db ? amplitude / std::pow(10.0, *db / 20.0) : 0.0;
}

// The received signal as a deviation from the PCM rest level 128, read at increasing times.
class AnalogSignal {
 public:
  AnalogSignal(const Timeline& timeline, const SignalOptions& options)
      : symbols_(timeline.symbols),
        bit_rate_(kBitRate * (1.0 + options.drift_ppm / 1e6)),
        one_level_(options.invert ? options.amplitude : -options.amplitude),
        offset_(options.offset),
        sigma_(SigmaBelow(options.amplitude, options.snr_db)),
        rest_sigma_(options.squelch ? SigmaBelow(options.amplitude, options.squelch_floor_db)
                                    : sigma_),
        speaker_(options.speaker),
        channel_(options.highpass_hz, options.lowpass_hz),
        noise_(NoiseSeed(options.seed)) {}

  double Seconds() const { return symbols_.size() / bit_rate_; }

  // `seconds` must not decrease from one call to the next.
  double At(double seconds) {
    if (!speaker_) return offset_ + Source(seconds);
    // Keeps the channel one step ahead of `seconds`, to interpolate between its two outputs.
    const double position = seconds * kChannelRate;
    while (static_cast<double>(channel_steps_) <= position + 1.0) {
      previous_ = current_;
      current_ = channel_.Step(Source(channel_steps_ / kChannelRate));
      ++channel_steps_;
    }
    const double fraction = position - std::floor(position);
    return offset_ + previous_ + fraction * (current_ - previous_);
  }

 private:
  // The levels and the noise before the channel, read at increasing times.
  double Source(double seconds) {
    const double position = std::floor(seconds * bit_rate_);
    const int8_t symbol = position < static_cast<double>(symbols_.size())
                              ? symbols_[static_cast<size_t>(position)]
                              : 0;
    double value = symbol * one_level_;
    if (sigma_ > 0.0 || rest_sigma_ > 0.0) {
      // One draw per cell whatever the squelch does, so that squelching leaves the noise of the
      // transmissions as it was.
      const auto cell = static_cast<int64_t>(seconds * kNoiseRate);
      if (cell != noise_cell_) {
        noise_cell_ = cell;
        noise_value_ = noise_.Next();
      }
      value += (symbol != 0 ? sigma_ : rest_sigma_) * noise_value_;
    }
    return value;
  }

  const std::vector<int8_t>& symbols_;
  double bit_rate_;
  double one_level_;
  double offset_;
  double sigma_;
  double rest_sigma_;
  bool speaker_;
  SpeakerChannel channel_;
  Gaussian noise_;
  int64_t noise_cell_ = -1;
  double noise_value_ = 0.0;
  int64_t channel_steps_ = 0;
  double previous_ = 0.0;
  double current_ = 0.0;
};

// The line receivers slice at the signal's own rest level, so the DC offset does not reach them.
SignalOptions WithoutOffset(SignalOptions options) {
  options.offset = 0.0;
  return options;
}

void AppendSplit(std::vector<SlicerEntry>& entries, int64_t ticks, uint8_t status) {
  constexpr int64_t kLongest = std::numeric_limits<uint16_t>::max();
  while (ticks > 0) {
    const int64_t part = std::min(ticks, kLongest);
    entries.push_back({static_cast<uint16_t>(part), status});
    ticks -= part;
  }
}

}  // namespace

SpeakerChannel::SpeakerChannel(double highpass_hz, double lowpass_hz)
    : highpass_(Butterworth(highpass_hz, true)), lowpass_(Butterworth(lowpass_hz, false)) {}

// Bilinear transform with the corner pre-warped, so that each corner lies where asked.
SpeakerChannel::Section SpeakerChannel::Butterworth(double corner_hz, bool high) {
  const double k = std::tan(std::numbers::pi * corner_hz / kChannelRate);
  const double q = std::numbers::sqrt2 / 2.0;
  const double norm = 1.0 / (1.0 + k / q + k * k);
  const double b0 = high ? norm : k * k * norm;
  return {.b0 = b0,
          .b1 = high ? -2.0 * b0 : 2.0 * b0,
          .b2 = b0,
          .a1 = 2.0 * (k * k - 1.0) * norm,
          .a2 = (1.0 - k / q + k * k) * norm};
}

double SpeakerChannel::Step(double x) { return lowpass_.Step(highpass_.Step(x)); }

double SpeakerChannel::Section::Step(double x) {
  const double y = b0 * x + z1;
  z1 = b1 * x - a1 * y + z2;
  z2 = b2 * x - a2 * y;
  return y;
}

void Timeline::AppendRest(double seconds) {
  symbols.insert(symbols.end(), static_cast<size_t>(std::llround(seconds * kBitRate)), 0);
}

void Timeline::AppendBits(const Bits& bits) {
  for (uint8_t bit : bits) symbols.push_back(bit ? 1 : -1);
}

Timeline ComposeTimeline(std::span<const Transmission> transmissions, double trailing_gap) {
  Timeline timeline;
  for (const Transmission& transmission : transmissions) {
    timeline.AppendRest(transmission.gap_before);
    timeline.AppendBits(EncodeFrame(transmission.frame).bits);
  }
  timeline.AppendRest(trailing_gap);
  return timeline;
}

std::string CheckSignalOptions(const SignalOptions& options) {
  if (!(options.amplitude > 0.0 && options.amplitude < kMaxAmplitude)) {
    return "the amplitude must be above 0 and below 64";
  }
  if (!(std::abs(options.offset) <= kMaxOffset)) return "the offset must be within -64..64";
  if (!(std::abs(options.drift_ppm) <= kMaxDriftPpm)) {
    return "the drift must be within -100000..100000 ppm";
  }
  if (options.snr_db && !(*options.snr_db >= kMinSnr && *options.snr_db <= kMaxSnr)) {
    return "the SNR must be within -20..120 dB";
  }
  if (options.squelch_floor_db) {
    if (!options.squelch) return "a squelch floor needs squelch";
    if (!(*options.squelch_floor_db >= kMinSquelchFloorDb &&
          *options.squelch_floor_db <= kMaxSnr)) {
      return "the squelch floor must be within 20..120 dB";
    }
  }
  if (!(options.highpass_hz >= kMinHighpassHz && options.highpass_hz <= kMaxHighpassHz)) {
    return "the high-pass corner must be within 20..1000 Hz";
  }
  if (!(options.lowpass_hz >= kMinLowpassHz && options.lowpass_hz <= kMaxLowpassHz)) {
    return "the low-pass corner must be within 1000..10000 Hz";
  }
  if (!(options.highpass_hz < options.lowpass_hz)) {
    return "the high-pass corner must be below the low-pass corner";
  }
  return {};
}

std::vector<uint8_t> RenderPcm(const Timeline& timeline, const SignalOptions& options, int rate) {
  AnalogSignal signal(timeline, options);
  const auto count = static_cast<size_t>(signal.Seconds() * rate);
  std::vector<uint8_t> pcm(count);
  for (size_t k = 0; k < count; ++k) {
    const double value = std::round(128.0 + signal.At((k + 0.5) / rate));
    pcm[k] = static_cast<uint8_t>(std::clamp(value, 0.0, 255.0));
  }
  return pcm;
}

std::vector<uint8_t> RenderRm100(const Timeline& timeline, const SignalOptions& options) {
  AnalogSignal signal(timeline, WithoutOffset(options));
  const auto samples = static_cast<size_t>(std::ceil(signal.Seconds() * kRm100SampleRate));
  std::vector<uint8_t> bytes((samples + 7) / 8);
  for (size_t k = 0; k < bytes.size() * 8; ++k) {
    if (signal.At((k + 0.5) / kRm100SampleRate) < 0.0) bytes[k / 8] |= 1 << (k % 8);
  }
  return bytes;
}

std::vector<SlicerEntry> RenderSlicer(const Timeline& timeline, const SignalOptions& options) {
  AnalogSignal signal(timeline, WithoutOffset(options));
  const double fine_rate = kBitRate * kSlicerSamplesPerBit;
  const auto count = static_cast<int64_t>(std::ceil(signal.Seconds() * fine_rate));
  auto ticks_at = [&](int64_t k) { return std::llround(k / fine_rate * kSlicerTickRate); };
  auto status_of = [](bool high) -> uint8_t {
    return kSlicerCtsChanged | (high ? kSlicerCtsHigh : 0);
  };

  std::vector<SlicerEntry> entries;
  if (count == 0) return entries;
  bool high = signal.At(0.5 / fine_rate) >= 0.0;
  int64_t run_start = 0;
  for (int64_t k = 1; k < count; ++k) {
    const bool now_high = signal.At((k + 0.5) / fine_rate) >= 0.0;
    if (now_high == high) continue;
    // Edge times are rounded, not the run lengths, so rounding never accumulates into drift.
    AppendSplit(entries, ticks_at(k) - ticks_at(run_start), status_of(high));
    high = now_high;
    run_start = k;
  }
  AppendSplit(entries, ticks_at(count) - ticks_at(run_start), status_of(high));
  return entries;
}

}  // namespace mdcgen
