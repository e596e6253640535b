#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "mdcgen/frame_encoder.h"

namespace mdcgen {

inline constexpr double kBitRate = 4800.0;
inline constexpr int kRm100SampleRate = 19200;
inline constexpr double kSlicerTickRate = 1193182.0;  // the PC interval timer
inline constexpr int kSlicerSamplesPerBit = 50;       // resolution at which edges are found
inline constexpr uint8_t kSlicerCtsChanged = 0x01;
inline constexpr uint8_t kSlicerCtsHigh = 0x10;
// Noise is drawn once per period of this rate and held, so every output sees the same band of
// noise whatever its own sampling rate.
inline constexpr double kNoiseRate = 44100.0;
inline constexpr double kMaxSeconds = 3600.0;

// The signal as a sequence of nominal bit periods: +1 a one bit, -1 a zero bit, 0 the rest level.
struct Timeline {
  std::vector<int8_t> symbols;

  void AppendRest(double seconds);
  void AppendBits(const Bits& bits);
  double Seconds() const { return symbols.size() / kBitRate; }
};

// A frame and the rest-level pause sent before it.
struct Transmission {
  Bytes frame;
  double gap_before = 0.0;  // seconds
};

// Each frame encoded and preceded by its gap; `trailing_gap` seconds of rest close the signal.
Timeline ComposeTimeline(std::span<const Transmission> transmissions, double trailing_gap);

// How the analog signal is made from the timeline. Levels are in 8-bit PCM steps around 128.
struct SignalOptions {
  double amplitude =
      40.0;  // keep below 64, or some of the receiver's sample masks merge the levels
  std::optional<double> snr_db;  // Gaussian noise of standard deviation amplitude / 10^(snr/20)
  double offset = 0.0;           // PCM only: added to every level, the rest level included
  double drift_ppm = 0.0;        // the bit rate is 4800 * (1 + drift_ppm / 1e6)
  bool invert = false;           // swaps the two levels
  // A squelched receiver: the noise of snr_db is present only while bits are sent; between
  // transmissions the rest level carries noise squelch_floor_db below the amplitude, or none.
  bool squelch = false;
  std::optional<double> squelch_floor_db;  // needs squelch
  // A receiver's speaker audio: the levels and the noise pass a second-order Butterworth
  // high-pass (which also removes any DC) and low-pass at these corners; the WAV offset, the sound
  // card's own, is added after the channel.
  bool speaker = false;
  double highpass_hz = 300.0;
  double lowpass_hz = 3000.0;
  uint64_t seed = 1;
};

inline constexpr double kMinHighpassHz = 20.0;
inline constexpr double kMaxHighpassHz = 1000.0;
inline constexpr double kMinLowpassHz = 1000.0;
inline constexpr double kMaxLowpassHz = 10000.0;
inline constexpr double kMinSquelchFloorDb = 20.0;
// The speaker channel runs at this rate whatever the output's, so every output hears the same
// channel; outputs read it by linear interpolation.
inline constexpr double kChannelRate = 4 * kNoiseRate;

// The speaker channel on its own: a second-order Butterworth high-pass and low-pass, one sample
// per period of kChannelRate. The corners must lie within the limits above.
class SpeakerChannel {
 public:
  SpeakerChannel(double highpass_hz, double lowpass_hz);
  double Step(double x);

 private:
  // One second-order section, transposed direct form II.
  struct Section {
    double b0, b1, b2, a1, a2;
    double z1 = 0.0;
    double z2 = 0.0;
    double Step(double x);
  };
  static Section Butterworth(double corner_hz, bool high);

  Section highpass_;
  Section lowpass_;
};

// Text of the first thing wrong with the options, empty when they are usable.
std::string CheckSignalOptions(const SignalOptions& options);

// 8-bit unsigned PCM at `rate` samples per second, each sample the signal at the middle of its
// period. Without inversion a one bit is the level below 128, which the receiver, reading the
// bytes as signed values, finds above its threshold.
std::vector<uint8_t> RenderPcm(const Timeline& timeline, const SignalOptions& options, int rate);

// RM100 byte stream: 19200 samples per second, eight a byte, the first in the least significant
// bit. The signal is sliced at its rest level: a sample is 1 while the signal is below it, so a
// one bit is 1 without inversion. The offset does not apply.
std::vector<uint8_t> RenderRm100(const Timeline& timeline, const SignalOptions& options);

struct SlicerEntry {
  uint16_t duration = 0;  // interval-timer ticks
  uint8_t status = 0;     // modem status: CTS changed, and CTS when the line is high
  bool operator==(const SlicerEntry&) const = default;
};

// The periods of constant line level that a data slicer on CTS reports, found at 50 points per
// bit: the line is high while the signal is at or above its rest level, so a one bit is a low line
// without inversion. Periods longer than 65535 ticks are split into entries with the same status.
// The offset does not apply.
std::vector<SlicerEntry> RenderSlicer(const Timeline& timeline, const SignalOptions& options);

}  // namespace mdcgen
