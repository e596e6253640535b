#pragma once

#include <array>
#include <cstdint>
#include <utility>

#include "decoder/frame_decoder.h"
#include "decoder/slicer_device.h"
#include "sieve/sieve.h"

namespace sieve {

struct SlicerPortResources {
  int32_t irq;
  int32_t base_address;
};

// The standard PC resources of serial ports 1 to 4; any other number means port 1.
SlicerPortResources SlicerPortTable(int32_t port);

// The library's side of the data-slicer link: loads the driver, and turns the periods it records
// into bits for the frame stage.
class SlicerInput {
 public:
  static constexpr int kErrorTextSize = 256;
  static constexpr int32_t kOutputSize = SIEVE_SLICER_OUTPUT_SIZE;  // never written past

  SlicerInput(FrameDecoder& frames, SlicerDeviceLookup lookup)
      : frames_(frames), lookup_(std::move(lookup)) {}
  ~SlicerInput() { Uninstall(); }
  SlicerInput(const SlicerInput&) = delete;
  SlicerInput& operator=(const SlicerInput&) = delete;

  int32_t Install(int32_t port);
  int32_t Uninstall();
  int32_t ToBytes(uint8_t* output, int32_t baud, int32_t low_symbol, int32_t high_symbol,
                  int32_t* corrections, int32_t* pending);
  int32_t GetErrorMessage(char* text) const;

  bool linked() const { return device_ != nullptr; }
  int32_t read_index() const { return read_index_; }
  double nanoseconds_per_bit() const { return nanoseconds_per_bit_; }

 private:
  bool OpenDevice(int32_t irq, int32_t base_address);
  // Feeds the ring's unread periods to the frame stage while the output has room.
  void Drain(int32_t low_symbol, int32_t high_symbol);
  void SetError(const char* text);

  FrameDecoder& frames_;
  SlicerDeviceLookup lookup_;
  SlicerDevice* device_ = nullptr;  // the linked driver; none while unlinked
  SlicerLinkReply link_;
  int32_t read_index_ = 0;
  int32_t entry_bits_done_ = 0;  // bits already taken from the entry at the read index
  double nanoseconds_per_bit_ = 0.0;
  std::array<char, kErrorTextSize> error_text_{};
};

}  // namespace sieve
