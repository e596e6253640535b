#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "decoder/frame_decoder.h"

namespace sieve {

// Level and clock stage for sampled input (audio, and RM100 bytes expanded to samples): finds a
// decision threshold from the histogram of sample values, decides each sample with hysteresis,
// regenerates the bit clock from runs of about one bit and hands one symbol per bit period to the
// frame stage.
class Demodulator {
 public:
  // Masks tried in turn when searching for a threshold (0 = no mask).
  static constexpr std::array<int32_t, 4> kMaskCycle = {0x80, 0x7F, 0xFF, 0};
  static constexpr int32_t kInitialMask = 0x7F;
  static constexpr int kClusterMinimum = 5;  // a bin with more samples belongs to a cluster
  static constexpr int kClusterGap = 9;      // empty bins needed below the upper cluster
  static constexpr int kMinQuality = 25;
  static constexpr int kMaxQuality = 75;
  static constexpr int kSampleHistory = 16;
  static constexpr int kMaxRun = 49;  // longest run of above decisions measured

  // The caller's side of one decoding call.
  struct Call {
    uint8_t* output;
    int32_t rate;
    int32_t baud;
    int32_t above;
    int32_t below;
    int32_t* corrections;
    int32_t* quality;
    bool capture;
  };

  // One captured block as SignalInformation hands it out.
  struct CaptureBlock {
    std::vector<int8_t> raw;
    std::vector<int8_t> masked;
    std::vector<uint8_t> marks;  // 1 where a bit was taken
    int32_t threshold = 0;
  };

  explicit Demodulator(FrameDecoder& frames) : frames_(frames) {}

  int32_t AudioToBytes(int8_t* samples, int32_t count, const Call& call);
  int32_t RM100BytesToBytes(const uint8_t* input, int32_t count, const Call& call);
  int32_t SignalInformation(int32_t count, uint8_t* raw_positive, uint8_t* raw_negative,
                            uint8_t* masked_positive, uint8_t* masked_negative, uint8_t* marks,
                            int32_t* threshold);
  void ReInit();
  // Replaces the pending capture: the robust stage keeps its captures here too.
  void KeepCapture(CaptureBlock block) {
    capture_ = std::move(block);
    capture_pending_ = true;
  }

  int32_t mask() const { return mask_; }
  bool threshold_known() const { return threshold_known_; }
  int32_t threshold() const { return threshold_; }
  double samples_per_bit() const { return samples_per_bit_; }
  double next_sampling_time() const { return next_sampling_time_; }
  int32_t current_decision() const { return current_decision_; }

 private:
  template <class Samples>
  int32_t Decode(Samples samples, int32_t count, const Call& call);
  template <class Samples>
  bool SearchThreshold(Samples& samples, int32_t count);
  template <class Samples>
  void Capture(const Samples& samples, int32_t count);
  void RestartClock(double rate, int32_t baud);

  FrameDecoder& frames_;

  int32_t mask_ = kInitialMask;
  int mask_cycle_position_ = 0;
  bool threshold_known_ = false;
  int32_t threshold_ = 0;
  double previous_rate_ = 0.0;
  double samples_per_bit_ = 0.0;
  double next_sampling_time_ = 0.0;                      // exactly -1.0: no bit clock yet
  std::array<int8_t, kSampleHistory> sample_history_{};  // newest first
  uint64_t decision_history_ = 0;                        // newest in bit 0, 1 = above
  int32_t current_decision_ = 0;                         // -1 once started: none yet

  CaptureBlock capture_;
  bool capture_pending_ = false;
};

}  // namespace sieve
