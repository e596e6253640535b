#pragma once

#include <cstdint>

#include "decoder/demodulator.h"
#include "decoder/frame_decoder.h"
#include "decoder/robust_demodulator.h"
#include "decoder/slicer_device.h"
#include "decoder/slicer_input.h"
#include "decoder/soft_frame_decoder.h"

namespace sieve {

// One complete decoder: what the library's exports share, as a class so that tests and tools can
// make fresh ones. The methods keep the exports' contracts (see sieve/sieve.h).
class Decoder {
 public:
  explicit Decoder(SlicerDeviceLookup lookup = FindSlicerDevice)
      : demodulator_(frames_),
        slicer_(frames_, std::move(lookup)),
        robust_(robust_frames_, demodulator_) {}

  int32_t AudioToBytes(int8_t* samples, int32_t count, uint8_t* output, int32_t rate, int32_t baud,
                       int32_t above, int32_t below, int32_t* corrections, int32_t* quality,
                       int32_t capture) {
    return demodulator_.AudioToBytes(
        samples, count, {output, rate, baud, above, below, corrections, quality, capture != 0});
  }
  int32_t RM100BytesToBytes(const uint8_t* input, int32_t count, uint8_t* output, int32_t rate,
                            int32_t baud, int32_t above, int32_t below, int32_t* corrections,
                            int32_t* quality, int32_t capture) {
    return demodulator_.RM100BytesToBytes(
        input, count, {output, rate, baud, above, below, corrections, quality, capture != 0});
  }
  int32_t RobustAudioToBytes(int8_t* samples, int32_t count, uint8_t* output, int32_t rate,
                             int32_t baud, int32_t above, int32_t below, int32_t* corrections,
                             int32_t* quality, int32_t capture) {
    return robust_.AudioToBytes(
        samples, count, {output, rate, baud, above, below, corrections, quality, capture != 0});
  }
  int32_t RobustRM100BytesToBytes(const uint8_t* input, int32_t count, uint8_t* output,
                                  int32_t rate, int32_t baud, int32_t above, int32_t below,
                                  int32_t* corrections, int32_t* quality, int32_t capture) {
    return robust_.RM100BytesToBytes(
        input, count, {output, rate, baud, above, below, corrections, quality, capture != 0});
  }
  int32_t SlicerToBytes(uint8_t* output, int32_t baud, int32_t low_symbol, int32_t high_symbol,
                        int32_t* corrections, int32_t* pending) {
    return slicer_.ToBytes(output, baud, low_symbol, high_symbol, corrections, pending);
  }
  int32_t SignalInformation(int32_t count, uint8_t* raw_positive, uint8_t* raw_negative,
                            uint8_t* masked_positive, uint8_t* masked_negative, uint8_t* marks,
                            int32_t* threshold) {
    return demodulator_.SignalInformation(count, raw_positive, raw_negative, masked_positive,
                                          masked_negative, marks, threshold);
  }
  int32_t ReInit() {
    demodulator_.ReInit();
    robust_.ReInit();
    return 0;
  }
  int32_t GetErrorMessage(char* text) const { return slicer_.GetErrorMessage(text); }
  int32_t InstallSlicerDriver(int32_t port) { return slicer_.Install(port); }
  int32_t UninstallSlicerDriver() { return slicer_.Uninstall(); }

  const FrameDecoder& frames() const { return frames_; }
  const Demodulator& demodulator() const { return demodulator_; }
  const SlicerInput& slicer() const { return slicer_; }
  const SoftFrameDecoder& robust_frames() const { return robust_frames_; }
  const RobustDemodulator& robust() const { return robust_; }

 private:
  FrameDecoder frames_;
  Demodulator demodulator_;
  SlicerInput slicer_;
  SoftFrameDecoder robust_frames_;
  RobustDemodulator robust_;
};

// The process's decoder, behind the exports. Never destroyed, so that no export can meet a
// destroyed decoder during the process's exit.
Decoder& ProcessDecoder();

}  // namespace sieve
