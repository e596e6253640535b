#pragma once

#include <array>
#include <cstdint>

#include "decoder/demodulator.h"
#include "decoder/soft_frame_decoder.h"

namespace sieve {

// The robust level and clock stage for audio and RM100 input. Every sample passes a filter
// matched to one bit (a running sum over nine tenths of a bit period); a Gardner timing-error
// detector with a second-order loop keeps the bit clock on the bit ends and follows drift; the
// decision level follows DC offset (the running mean while no frame is being received,
// decision-directed inside one; silence holds it where the rest level is, so it is never lost);
// decision-feedback taps, trained on preambles and inside frames, learn and remove the tail that
// AC coupling (speaker audio) leaves after each bit. Each bit goes to the soft frame stage as its
// distance from the level.
// Polarity: for audio, the samples are 8-bit unsigned with the rest level at 128, and `above` is
// the symbol of the level below 128 (the one that reads as the larger signed value, as for the
// exact decoder when the signal is centred on 128); for RM100 bytes `above` is a set bit.
// One thread; state survives from call to call. Captures go to the exact demodulator's store so
// that SignalInformation hands out whichever decoder captured last.
class RobustDemodulator {
 public:
  using Call = Demodulator::Call;

  // Bit periods the stage accepts, in samples (lower rates or higher ones decode nothing).
  static constexpr double kMinSamplesPerBit = 2.0;
  static constexpr double kMaxSamplesPerBit = 24.0;

  RobustDemodulator(SoftFrameDecoder& frames, Demodulator& capture_store)
      : frames_(frames), capture_store_(capture_store) {}

  int32_t AudioToBytes(const int8_t* samples, int32_t count, const Call& call);
  int32_t RM100BytesToBytes(const uint8_t* input, int32_t count, const Call& call);
  // Forgets the decision level and the amplitude; the clock and the frame stage are kept.
  void ReInit();

  // The decision level, in the units of the samples as the stage reads them (see the capture in
  // sieve.h), and the clock's current bit period in samples.
  double level() const { return length_ > 0 ? level_ / length_ : 0.0; }
  double period() const { return period_; }

 private:
  static constexpr int kHistory = 64;  // matched-filter outputs kept for interpolation
  static constexpr int kFeedbackTaps = 16;

  template <class Samples>
  int32_t Decode(const Samples& samples, int32_t count, const Call& call);
  void Restart(double rate, int32_t baud);
  float FilterAt(double time) const;
  // One bit period ended at `time`; returns the bit's distance from the level (positive: above).
  float Strobe(double time, bool sliced);

  SoftFrameDecoder& frames_;
  Demodulator& capture_store_;

  double rate_ = 0.0;
  int32_t baud_ = 0;
  double samples_per_bit_ = 0.0;
  int length_ = 0;  // matched filter taps
  std::array<int32_t, 32> taps_{};
  int tap_position_ = 0;
  int32_t running_sum_ = 0;
  std::array<float, kHistory> filtered_{};
  int64_t index_ = 0;  // samples since the clock started

  double next_strobe_ = 0.0;  // absolute sample time of the next bit end
  double period_ = 0.0;
  float previous_ = 0.0f;  // the last bit's value, for the timing-error detector

  float level_ = 0.0f;  // matched-filter units
  float amplitude_ = 0.0f;
  std::array<float, kFeedbackTaps> feedback_{};   // matched-filter units per earlier bit
  std::array<float, kFeedbackTaps> decisions_{};  // +-1, or 0 for the rest level; newest first
  uint32_t hard_history_ = 0;                     // the last decisions, newest in bit 0, 1 = above
  int training_bits_ = 0;
};

}  // namespace sieve
